#!/usr/bin/env bash
# Tests one ~200 MB ARJ archive (method 1, made by arj a -m1) with zefa t,
# arj t and 7zz t, runs interleaved, and prints the best CPU seconds of each
# with the ratios to zefa.
# Usage: bench/arj_bench.sh [path/to/zefa]   (default: build-arj-rel/zefa, built here in Release)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_zefa "${1:-}" build-arj-rel
need_tool arj
runs=${RUNS:-3}
bench_work arj_bench

# ~200 MB of mixed data: text-like runs and random blocks in files of
# different sizes.
files=("big.bin:$((100 * 2**20)):0.25" "text.txt:$((60 * 2**20)):0.0")
for i in $(seq 0 39); do files+=("f$i.dat:$((2**20)):0.1"); done
mixed_files "$work/src" 42 abcdefghijklmnopqrstuvwxyz 5000 "${files[@]}"
(cd "$work/src" && arj a -m1 -y "$work/a.arj" ./* >/dev/null)
"$zefa" t "$work/a.arj" >/dev/null || { echo "zefa t failed on the archive"; exit 1; }
echo "archive: $(du -m "$work/a.arj" | cut -f1) MB from $(du -sm "$work/src" | cut -f1) MB"

t_zefa= t_arj= t_7zz=
for ((i = 0; i < runs; i++)); do
  t_zefa=$(best_of "$t_zefa" "$(cpu_seconds "$zefa" t "$work/a.arj")")
  t_arj=$(best_of "$t_arj" "$(cpu_seconds arj t -y "$work/a.arj")")
  command -v 7zz >/dev/null && t_7zz=$(best_of "$t_7zz" "$(cpu_seconds 7zz t "$work/a.arj")")
done
echo "zefa t: $t_zefa s"
echo "arj t:  $t_arj s   (arj / zefa: $(ratio "$t_arj" "$t_zefa"))"
[ -n "$t_7zz" ] && echo "7zz t:  $t_7zz s   (7zz / zefa: $(ratio "$t_7zz" "$t_zefa"))"
exit 0
