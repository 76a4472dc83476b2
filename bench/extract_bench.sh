#!/usr/bin/env bash
# Extracts one 200 MB deflated ZIP with zefa x, unzip -o -q and 7zz x and
# prints wall time, the ratio to zefa and peak memory (maximum resident set).
# Usage: bench/extract_bench.sh [path/to/zefa]   (default: build/zefa)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_zefa "${1:-}"
bench_work extract_bench

# 200 MB of mixed data: text-like runs and random blocks, in a few files of
# different sizes (one of 120 MB: peak memory must not follow entry size).
files=("big.bin:$((120 * 2**20)):0.25")
for i in $(seq 0 15); do files+=("$(printf 'part%02d.bin' "$i"):$((5 * 2**20)):0.25"); done
mixed_files "$work/src" 42 abcdefghijklmnopqrstuvwxyz 5000 "${files[@]}"
(cd "$work/src" && zip -q -6 -r "$work/a.zip" .)
echo "archive: $(du -m "$work/a.zip" | cut -f1) MB, unpacked: $(du -sm "$work/src" | cut -f1) MB"

measure() {  # name, command...
  local name=$1; shift
  rm -rf "$work/out"; mkdir -p "$work/out"
  local t
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null 2>&1
    read -r secs kb < "$work/time.txt"
  else
    local s=$(date +%s.%N); "$@" >/dev/null 2>&1; secs=$(echo "$(date +%s.%N) - $s" | bc); kb=0
  fi
  cmp -s "$work/src/big.bin" "$work/out/big.bin" || echo "$name: output differs!"
  printf '%-8s %7.2f s  %8d KiB peak\n' "$name" "$secs" "$kb"
  eval "t_$name=$secs"
}

measure zefa "$zefa" x "$work/a.zip" -o "$work/out"
command -v unzip >/dev/null && measure unzip unzip -o -q "$work/a.zip" -d "$work/out"
command -v 7zz >/dev/null && measure 7zz 7zz x -y "-o$work/out" "$work/a.zip"
[ -n "${t_unzip:-}" ] && echo "unzip / zefa: $(echo "scale=2; $t_unzip / $t_zefa" | bc)"
[ -n "${t_7zz:-}" ] && echo "7zz / zefa:   $(echo "scale=2; $t_7zz / $t_zefa" | bc)"
