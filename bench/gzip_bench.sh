#!/usr/bin/env bash
# Tests one ~200 MB mixed file compressed with gzip -6 and with compress -b16:
# zefa t against gzip -t, gzip -dc, uncompress -c and 7zz t, runs interleaved,
# and prints the best CPU seconds of each with the ratios to zefa.
# Usage: bench/gzip_bench.sh [path/to/zefa]   (default: build-gz-rel/zefa, built here in Release)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_zefa "${1:-}" build-gz-rel
for tool in gzip compress uncompress; do need_tool $tool; done
runs=${RUNS:-3}
bench_work gzip_bench

# ~200 MB of mixed data: text-like runs and random blocks.
mixed_files "$work" 42 abcdefghijklmnopqrstuvwxyz 5000 "data:$((200 * 2**20)):0.2"
gzip -6 -c "$work/data" > "$work/data.gz"
compress -b16 -c "$work/data" > "$work/data.Z"
for f in data.gz data.Z; do
  "$zefa" t "$work/$f" >/dev/null || { echo "zefa t failed on $f"; exit 1; }
done
echo "input: $(du -m "$work/data" | cut -f1) MB; gzip: $(du -m "$work/data.gz" | cut -f1) MB;" \
  "compress: $(du -m "$work/data.Z" | cut -f1) MB"

have7=$(command -v 7zz || true)
zg= gt= gd= zg7= zz= un= zz7=
for ((i = 0; i < runs; i++)); do
  zg=$(best_of "$zg" "$(cpu_seconds "$zefa" t "$work/data.gz")")
  gt=$(best_of "$gt" "$(cpu_seconds gzip -t "$work/data.gz")")
  gd=$(best_of "$gd" "$(cpu_seconds sh -c "gzip -dc '$work/data.gz' >/dev/null")")
  [ -n "$have7" ] && zg7=$(best_of "$zg7" "$(cpu_seconds 7zz t "$work/data.gz")")
  zz=$(best_of "$zz" "$(cpu_seconds "$zefa" t "$work/data.Z")")
  un=$(best_of "$un" "$(cpu_seconds sh -c "uncompress -c '$work/data.Z' >/dev/null")")
  [ -n "$have7" ] && zz7=$(best_of "$zz7" "$(cpu_seconds 7zz t "$work/data.Z")")
done
echo "gzip:     zefa t $zg s | gzip -t $gt s ($(ratio "$gt" "$zg")x) | gzip -dc $gd s ($(ratio "$gd" "$zg")x)" \
  "${zg7:+| 7zz t $zg7 s ($(ratio "$zg7" "$zg")x)}"
echo "compress: zefa t $zz s | uncompress -c $un s ($(ratio "$un" "$zz")x)" \
  "${zz7:+| 7zz t $zz7 s ($(ratio "$zz7" "$zz")x)}"
echo "(ratios: the peer's time over zefa's; above 1 means zefa is faster)"
exit 0
