#!/usr/bin/env bash
# The per-entry cost of testing a ZIP: 250,000 small deflated entries with
# short names in 500 folders, zefa t against unzip -tq, interleaved, medians
# of wall and CPU seconds and the ratios zefa/unzip. Build zefa as Release first.
# Usage: bench/zip_many_test_bench.sh [path/to/zefa] [repetitions] [entries]   (defaults: build/zefa, 5, 250000)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_zefa "${1:-}"
reps=${2:-5}
entries=${3:-250000}
need_tool unzip "unzip not installed"
bench_work zip_many_test_bench

python3 - "$work/many.zip" "$entries" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    for i in range(int(sys.argv[2])):
        z.writestr(f"d{i % 500}/f{i}", b"x%d\n" % i)
PY
echo "input: $entries entries, $(stat -c %s "$work/many.zip") bytes; load: $(cut -d' ' -f1-3 /proc/loadavg)"

median() { tr ' ' '\n' <<<"$1" | grep . | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
declare -A wall cpu
for ((r = 1; r <= reps; r++)); do
  read -r w c < <(wall_cpu_seconds unzip -tq "$work/many.zip"); wall[unzip]+="$w "; cpu[unzip]+="$c "
  read -r w c < <(wall_cpu_seconds "$zefa" t "$work/many.zip"); wall[zefa]+="$w "; cpu[zefa]+="$c "
done
"$zefa" t "$work/many.zip" >/dev/null || { echo "zefa t fails on the archive"; exit 1; }
printf "%-6s %10s %10s\n" run med_wall med_cpu
for k in unzip zefa; do printf "%-6s %10.3f %10.3f\n" "$k" "$(median "${wall[$k]}")" "$(median "${cpu[$k]}")"; done
printf "zefa/unzip: wall %.3f, cpu %.3f\n" "$(echo "$(median "${wall[zefa]}") / $(median "${wall[unzip]}")" | bc -l)" \
  "$(echo "$(median "${cpu[zefa]}") / $(median "${cpu[unzip]}")" | bc -l)"
