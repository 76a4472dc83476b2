#!/usr/bin/env bash
# CAB speed against the peers, on a Release build of zefa:
# - decoding MSZIP (a 96 MB cabinet made by gcab -cz) and LZX (the corpus's
#   LZX:21 cabinet, 14 MB unpacked, tested 10 times in a row): zefa t,
#   cabextract -t and 7zz t, interleaved, three rounds, best time each;
# - encoding MSZIP: zefa a --method mszip against gcab -cz, best of three,
#   with the cabinet sizes (both results are checked with cabextract -t).
# Usage: bench/cab_bench.sh [path/to/zefa]   (default: build/zefa)
set -euo pipefail
zefa=$(realpath "${1:-build/zefa}")
corpus=$(realpath "$(dirname "$0")/../../shared/corpus/cab" 2>/dev/null || true)
work=$(mktemp -d /tmp/cab_bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

# 96 MB of mixed data: text-like runs and random blocks, in a few files.
python3 - "$work/src" <<'PY'
import os, random, sys
root = sys.argv[1]; os.makedirs(root)
rnd = random.Random(42)
words = [bytes(rnd.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rnd.randint(2, 9))) for _ in range(5000)]
def write(name, size):
    with open(os.path.join(root, name), "wb") as f:
        left = size
        while left > 0:
            if rnd.random() < 0.25:
                chunk = rnd.randbytes(min(left, 65536))
            else:
                chunk = b" ".join(rnd.choice(words) for _ in range(12000))[:min(left, 65536)]
            f.write(chunk); left -= len(chunk)
write("big.bin", 64 * 2**20)
for i in range(8):
    write("part%02d.bin" % i, 4 * 2**20)
PY
(cd "$work/src" && gcab -cz "$work/mszip.cab" ./*)
echo "MSZIP cabinet: $(du -m "$work/mszip.cab" | cut -f1) MB from $(du -sm "$work/src" | cut -f1) MB"

seconds() {  # command... -> prints wall seconds
  local s e
  s=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || echo "failed: $*" >&2
  e=$(date +%s.%N)
  echo "$e - $s" | bc
}
repeat10() { for _ in 1 2 3 4 5 6 7 8 9 10; do "$@" >/dev/null 2>&1; done; }
best() { printf '%s\n' "$@" | sort -n | head -1; }

decode() {  # label, cabinet, repeat (0/1)
  local label=$1 cab=$2 rep=$3 z=() c=() s=() run=()
  [ "$rep" = 1 ] && run=(repeat10)
  for _ in 1 2 3; do
    z+=("$(seconds "${run[@]}" "$zefa" t "$cab")")
    c+=("$(seconds "${run[@]}" cabextract -t "$cab")")
    s+=("$(seconds "${run[@]}" 7zz t "$cab")")
  done
  local bz bc bs
  bz=$(best "${z[@]}"); bc=$(best "${c[@]}"); bs=$(best "${s[@]}")
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
  z+=("$(cd "$work/src" && seconds "$zefa" a -f cab --method mszip -r "$work/z.cab" .)")
  g+=("$(cd "$work/src" && seconds gcab -cz "$work/g.cab" ./*)")
done
cabextract -t "$work/z.cab" >/dev/null && cabextract -t "$work/g.cab" >/dev/null
bz=$(best "${z[@]}"); bg=$(best "${g[@]}")
printf 'MSZIP  encode: zefa %6.2f s (%d bytes)  gcab -cz %6.2f s (%d bytes, %.2fx)\n' "$bz" "$(stat -c %s "$work/z.cab")" \
  "$bg" "$(stat -c %s "$work/g.cab")" "$(echo "scale=3; $bg / $bz" | bc)"
