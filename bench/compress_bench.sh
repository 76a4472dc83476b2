#!/usr/bin/env bash
# Compresses one 200 MB mixed tree with zefa a (normal, max) and zip -r -6 /
# zip -r -9 and prints wall time and archive size with their ratios to zip.
# Usage: bench/compress_bench.sh [path/to/zefa]   (default: build/zefa)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_zefa "${1:-}"
need_tool zip
bench_work compress_bench

# 200 MB: text-like files (source code, logs), random blocks (media), many
# small files and a few large ones, in nested folders.
files=("media/big.bin:$((80 * 2**20)):0.6")
for i in $(seq 0 7); do files+=("logs/log$i.txt:$((8 * 2**20)):0.0"); done
for i in $(seq 0 1999); do files+=("src/m$((i / 100))/f$i.c:$((28 * 2**10)):0.05"); done
mixed_files "$work/src" 7 'abcdefghijklmnopqrstuvwxyz_{}();=' 4000 "${files[@]}"


cd "$work"
declare -A secs size
for run in "zefa_normal:$zefa a $work/zn.zip src -r --level normal" \
           "zip_6:zip -q -r -6 $work/z6.zip src" \
           "zefa_max:$zefa a $work/zx.zip src -r --level max" \
           "zip_9:zip -q -r -9 $work/z9.zip src"; do
  label=${run%%:*}; cmd=${run#*:}
  secs[$label]=$(cpu_seconds $cmd)
done
size[zefa_normal]=$(stat -c %s zn.zip); size[zip_6]=$(stat -c %s z6.zip)
size[zefa_max]=$(stat -c %s zx.zip); size[zip_9]=$(stat -c %s z9.zip)
printf "%-12s %10s %12s\n" run cpu_seconds bytes
for l in zefa_normal zip_6 zefa_max zip_9; do printf "%-12s %10.2f %12d\n" "$l" "${secs[$l]}" "${size[$l]}"; done
printf "normal: time ratio zefa/zip %.3f, size ratio %.4f\n" \
  "$(echo "${secs[zefa_normal]} / ${secs[zip_6]}" | bc -l)" "$(echo "${size[zefa_normal]} / ${size[zip_6]}" | bc -l)"
printf "max:    time ratio zefa/zip %.3f, size ratio %.4f\n" \
  "$(echo "${secs[zefa_max]} / ${secs[zip_9]}" | bc -l)" "$(echo "${size[zefa_max]} / ${size[zip_9]}" | bc -l)"
