#!/usr/bin/env bash
# Listing speed of zefa l against unzip -l and 7zz l over a generated ZIP of
# 100,000 small entries (and 10,000, to see that memory stays flat in the
# entry count). Usage: bench/list_bench.sh [path/to/zefa] [runs]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_zefa "${1:-}"
runs=${2:-5}
bench_work zefa_list_bench

make_zip() {  # entries, file
  python3 - "$1" "$2" <<'PY'
import sys, zipfile
n, path = int(sys.argv[1]), sys.argv[2]
with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
    for i in range(n):
        z.writestr("dir%03d/file%06d.txt" % (i % 500, i), ("entry %d " % i) * 4)
PY
}

# Best wall time (s) and the peak resident size (KiB) of that run.
measure() {
  local best="" rss=0
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %M" -o "$work/t" "$@" >/dev/null 2>&1 || true
    read -r t m <"$work/t"
    if [ -z "$best" ] || awk "BEGIN{exit !($t < $best)}"; then best=$t; rss=$m; fi
  done
  echo "$best $rss"
}

make_zip 100000 "$work/big.zip"
make_zip 10000 "$work/small.zip"
echo "archive: 100,000 entries, $(stat -c %s "$work/big.zip") bytes; best of $runs runs"

read -r tz mz < <(measure "$zefa" l "$work/big.zip")
read -r tzj mzj < <(measure "$zefa" l --json "$work/big.zip")
read -r tu mu < <(measure unzip -l "$work/big.zip")
printf "%-14s %8s s %9s KiB\n" "zefa l" "$tz" "$mz" "zefa l --json" "$tzj" "$mzj" "unzip -l" "$tu" "$mu"
if command -v 7zz >/dev/null; then
  read -r t7 m7 < <(measure 7zz l "$work/big.zip")
  printf "%-14s %8s s %9s KiB\n" "7zz l" "$t7" "$m7"
  awk -v a="$tz" -v b="$t7" 'BEGIN{printf "ratio zefa/7zz:   %.2f\n", (b > 0 ? a / b : 0)}'
fi
awk -v a="$tz" -v b="$tu" 'BEGIN{printf "ratio zefa/unzip: %.2f\n", (b > 0 ? a / b : 0)}'

read -r ts ms < <(measure "$zefa" l "$work/small.zip")
echo "memory of zefa l: ${ms} KiB at 10,000 entries, ${mz} KiB at 100,000 entries"
