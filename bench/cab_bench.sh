#!/usr/bin/env bash
# CAB speed against the peers, on a Release build of zefa, medians of five
# interleaved rounds, wall and CPU (user + system) seconds:
# - decoding MSZIP (a cabinet of 64 MB made by gcab -cz): zefa t against
#   cabextract -t and 7zz t; LZX (the corpus's LZX:21 cabinet, tested 10
#   times in a row) the same way;
# - encoding MSZIP: zefa a --method mszip against gcab -cz, with the sizes
#   (both cabinets are checked with cabextract -t and 7zz t).
# Ratios are zefa's time over the peer's (below 1: zefa is faster).
# Usage: bench/cab_bench.sh [path/to/zefa]   (default: build/zefa)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_zefa "${1:-}"
corpus=$(realpath "$(dirname "$0")/../../shared/corpus/cab" 2>/dev/null || true)
bench_work cab_bench
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"

files=("big.bin:$((48 * 2**20)):0.25")
for i in $(seq 0 3); do files+=("$(printf 'part%02d.bin' "$i"):$((4 * 2**20)):0.25"); done
mixed_files "$work/src" 42 abcdefghijklmnopqrstuvwxyz 5000 "${files[@]}"
(cd "$work/src" && gcab -cz "$work/mszip.cab" ./*)

repeat10() { for _ in 1 2 3 4 5 6 7 8 9 10; do "$@" >/dev/null 2>&1; done; }

# Runs the named commands five times, interleaved; prints "label wall cpu" medians.
race() {  # label=command...
  declare -A w c
  local job label t
  for _ in 1 2 3 4 5; do
    for job in "$@"; do
      label=${job%%=*}
      t=$(wall_cpu_seconds sh -c "${job#*=}")
      w[$label]+=" ${t% *}"
      c[$label]+=" ${t#* }"
    done
  done
  for job in "$@"; do
    label=${job%%=*}
    echo "$label $(median_time ${w[$label]}) $(median_time ${c[$label]})"
  done
}

report() {  # title, race output
  local title=$1 z zw zc label pw pc
  shift
  read -r z zw zc <<<"$1"
  printf '%s: zefa %.2f s (CPU %.2f)' "$title" "$zw" "$zc"
  shift
  for line in "$@"; do
    read -r label pw pc <<<"$line"
    printf ', %s %.2f s (CPU %.2f): %.2fx wall, %.2fx CPU' "$label" "$pw" "$pc" "$(ratio "$zw" "$pw")" "$(ratio "$zc" "$pc")"
  done
  echo
}

mapfile -t r < <(race "zefa=$zefa t $work/mszip.cab" "cabextract=cabextract -q -t $work/mszip.cab" \
  "7zz=7zz t $work/mszip.cab")
report "MSZIP decode" "${r[@]}"
lzx=$corpus/cabextract__large-files-cab.cab
if [ -f "$lzx" ]; then
  mapfile -t r < <(race "zefa=$(declare -f repeat10); repeat10 $zefa t $lzx" \
    "cabextract=$(declare -f repeat10); repeat10 cabextract -q -t $lzx" "7zz=$(declare -f repeat10); repeat10 7zz t $lzx")
  report "LZX decode x10" "${r[@]}"
fi

mapfile -t r < <(race "zefa=cd $work/src && rm -f ../z.cab && $zefa a -f cab --method mszip -r ../z.cab ." \
  "gcab=cd $work/src && rm -f ../g.cab && gcab -cz ../g.cab ./*")
report "MSZIP encode" "${r[@]}"
cabextract -q -t "$work/z.cab" >/dev/null && 7zz t "$work/z.cab" >/dev/null
zs=$(stat -c %s "$work/z.cab") gs=$(stat -c %s "$work/g.cab")
echo "MSZIP cabinets: zefa $zs bytes, gcab $gs bytes ($(echo "scale=3; $zs / $gs" | bc)x)"
