#!/usr/bin/env bash
# Tests one ~50 MB ARC archive made by Debian's arc (crunched text, stored
# random blocks) with zefa t, nomarch -t and unar (extracting into a scratch
# folder: unar has no test command), runs interleaved, and prints the best
# CPU seconds of each with the ratios to zefa. unar 1.10 fails the crunched
# entries arc 5.21 writes ("Attempted to read more data than was available"):
# it is timed only when it extracts the archive.
# Usage: bench/arc_bench.sh [path/to/zefa]   (default: build-arc-rel/zefa, built here in Release)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_zefa "${1:-}" build-arc-rel
need_tool arc
need_tool nomarch
runs=${RUNS:-3}
bench_work arc_bench

# ~50 MB in files of different sizes; arc's names are 8.3, so the files are too.
files=("BIG.TXT:$((24 * 2**20)):0.0" "MIXED.BIN:$((10 * 2**20)):0.3")
for i in $(seq 0 15); do files+=("F$i.DAT:$((2**20)):0.1"); done
mixed_files "$work/src" 42 abcdefghijklmnopqrstuvwxyz 5000 "${files[@]}"
(cd "$work/src" && arc a "$work/a.arc" ./* >/dev/null)
"$zefa" t "$work/a.arc" >/dev/null || { echo "zefa t failed on the archive"; exit 1; }
echo "archive: $(du -m "$work/a.arc" | cut -f1) MB from $(du -sm "$work/src" | cut -f1) MB"

t_zefa= t_nomarch= t_unar=
unar_ok=
if command -v unar >/dev/null && unar -q -o "$work/unar" "$work/a.arc" >/dev/null 2>&1; then unar_ok=1; fi
for ((i = 0; i < runs; i++)); do
  t_zefa=$(best_of "$t_zefa" "$(cpu_seconds "$zefa" t "$work/a.arc")")
  t_nomarch=$(best_of "$t_nomarch" "$(cpu_seconds nomarch -t "$work/a.arc")")
  if [ -n "$unar_ok" ]; then
    rm -rf "$work/unar"
    t_unar=$(best_of "$t_unar" "$(cpu_seconds unar -q -o "$work/unar" "$work/a.arc")")
  fi
done
echo "zefa t:     $t_zefa s"
echo "nomarch -t: $t_nomarch s   (nomarch / zefa: $(ratio "$t_nomarch" "$t_zefa"))"
if [ -n "$t_unar" ]; then
  echo "unar:       $t_unar s   (unar / zefa: $(ratio "$t_unar" "$t_zefa"))"
else
  echo "unar:       fails on the archive (or is not installed)"
fi
exit 0
