#!/usr/bin/env bash
# CAB speed against the peers, on a Release build of zefa:
# - decoding MSZIP (a 96 MB cabinet made by gcab -cz) and LZX (the corpus's
#   LZX:21 cabinet, 14 MB unpacked, tested 10 times in a row): zefa t,
#   cabextract -t and 7zz t, interleaved, three rounds, best time each;
# - encoding MSZIP: zefa a --method mszip against gcab -cz, best of three,
#   with the cabinet sizes (both results are checked with cabextract -t).
# Usage: bench/cab_bench.sh [path/to/zefa]   (default: build/zefa)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_zefa "${1:-}"
corpus=$(realpath "$(dirname "$0")/../../shared/corpus/cab" 2>/dev/null || true)
bench_work cab_bench

# 96 MB of mixed data: text-like runs and random blocks, in a few files.
files=("big.bin:$((64 * 2**20)):0.25")
for i in $(seq 0 7); do files+=("$(printf 'part%02d.bin' "$i"):$((4 * 2**20)):0.25"); done
mixed_files "$work/src" 42 abcdefghijklmnopqrstuvwxyz 5000 "${files[@]}"
(cd "$work/src" && gcab -cz "$work/mszip.cab" ./*)
echo "MSZIP cabinet: $(du -m "$work/mszip.cab" | cut -f1) MB from $(du -sm "$work/src" | cut -f1) MB"

repeat10() { for _ in 1 2 3 4 5 6 7 8 9 10; do "$@" >/dev/null 2>&1; done; }

decode() {  # label, cabinet, repeat (0/1)
  local label=$1 cab=$2 rep=$3 z=() c=() s=() run=()
  [ "$rep" = 1 ] && run=(repeat10)
  for _ in 1 2 3; do
    z+=("$(wall_seconds "${run[@]}" "$zefa" t "$cab")")
    c+=("$(wall_seconds "${run[@]}" cabextract -t "$cab")")
    s+=("$(wall_seconds "${run[@]}" 7zz t "$cab")")
  done
  local bz bc bs
  bz=$(min_time "${z[@]}"); bc=$(min_time "${c[@]}"); bs=$(min_time "${s[@]}")
  printf '%-6s decode: zefa %6.2f s  cabextract %6.2f s (%.2fx)  7zz %6.2f s (%.2fx)\n' "$label" "$bz" "$bc" \
    "$(echo "scale=3; $bc / $bz" | bc)" "$bs" "$(echo "scale=3; $bs / $bz" | bc)"
}

decode MSZIP "$work/mszip.cab" 0
if [ -f "$corpus/cabextract__large-files-cab.cab" ]; then
  decode LZX "$corpus/cabextract__large-files-cab.cab" 1
fi

z=(); g=()
for _ in 1 2 3; do
  rm -f "$work/z.cab" "$work/g.cab"
  z+=("$(cd "$work/src" && wall_seconds "$zefa" a -f cab --method mszip -r "$work/z.cab" .)")
  g+=("$(cd "$work/src" && wall_seconds gcab -cz "$work/g.cab" ./*)")
done
cabextract -t "$work/z.cab" >/dev/null && cabextract -t "$work/g.cab" >/dev/null
bz=$(min_time "${z[@]}"); bg=$(min_time "${g[@]}")
printf 'MSZIP  encode: zefa %6.2f s (%d bytes)  gcab -cz %6.2f s (%d bytes, %.2fx)\n' "$bz" "$(stat -c %s "$work/z.cab")" \
  "$bg" "$(stat -c %s "$work/g.cab")" "$(echo "scale=3; $bg / $bz" | bc)"
