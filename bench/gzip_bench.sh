#!/usr/bin/env bash
# Tests one ~200 MB mixed file compressed with gzip -6 and with compress -b16:
# zefa t against gzip -t, gzip -dc, uncompress -c and 7zz t, runs interleaved,
# and prints the best CPU seconds of each with the ratios to zefa.
# Usage: bench/gzip_bench.sh [path/to/zefa]   (default: build-gz-rel/zefa, built here in Release)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
zefa=${1:-}
if [ -z "$zefa" ]; then
  cmake -S "$root" -B "$root/build-gz-rel" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZEFA_GUI=OFF -DZEFA_TESTS=OFF \
    -DZEFA_BENCH=OFF >/dev/null
  ninja -C "$root/build-gz-rel" zefa >/dev/null
  zefa=$root/build-gz-rel/zefa
fi
zefa=$(realpath "$zefa")
for tool in gzip compress uncompress; do
  command -v $tool >/dev/null || { echo "$tool not installed"; exit 1; }
done
runs=${RUNS:-3}
work=$(mktemp -d /tmp/gzip_bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

# ~200 MB of mixed data: text-like runs and random blocks.
python3 - "$work/data" <<'PY'
import random, sys
rnd = random.Random(42)
words = [bytes(rnd.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rnd.randint(2, 9))) for _ in range(5000)]
with open(sys.argv[1], "wb") as f:
    left = 200 * 2**20
    while left > 0:
        if rnd.random() < 0.2:
            chunk = rnd.randbytes(min(left, 65536))
        else:
            chunk = b" ".join(rnd.choice(words) for _ in range(12000))[:min(left, 65536)]
        f.write(chunk); left -= len(chunk)
PY
gzip -6 -c "$work/data" > "$work/data.gz"
compress -b16 -c "$work/data" > "$work/data.Z"
for f in data.gz data.Z; do
  "$zefa" t "$work/$f" >/dev/null || { echo "zefa t failed on $f"; exit 1; }
done
echo "input: $(du -m "$work/data" | cut -f1) MB; gzip: $(du -m "$work/data.gz" | cut -f1) MB;" \
  "compress: $(du -m "$work/data.Z" | cut -f1) MB"

# CPU seconds (user + system) of one run: wall time means little on a shared machine.
cpu() {
  local TIMEFORMAT='%U %S' t
  t=$( { time "$@" >/dev/null 2>&1; } 2>&1 )
  echo "${t% *} + ${t#* }" | bc
}
best() { [ -z "$1" ] && echo "$2" || echo "if ($2 < $1) $2 else $1" | bc; }
ratio() { echo "scale=2; $1 / $2" | bc; }
have7=$(command -v 7zz || true)
zg= gt= gd= zg7= zz= un= zz7=
for ((i = 0; i < runs; i++)); do
  zg=$(best "$zg" "$(cpu "$zefa" t "$work/data.gz")")
  gt=$(best "$gt" "$(cpu gzip -t "$work/data.gz")")
  gd=$(best "$gd" "$(cpu sh -c "gzip -dc '$work/data.gz' >/dev/null")")
  [ -n "$have7" ] && zg7=$(best "$zg7" "$(cpu 7zz t "$work/data.gz")")
  zz=$(best "$zz" "$(cpu "$zefa" t "$work/data.Z")")
  un=$(best "$un" "$(cpu sh -c "uncompress -c '$work/data.Z' >/dev/null")")
  [ -n "$have7" ] && zz7=$(best "$zz7" "$(cpu 7zz t "$work/data.Z")")
done
echo "gzip:     zefa t $zg s | gzip -t $gt s ($(ratio "$gt" "$zg")x) | gzip -dc $gd s ($(ratio "$gd" "$zg")x)" \
  "${zg7:+| 7zz t $zg7 s ($(ratio "$zg7" "$zg")x)}"
echo "compress: zefa t $zz s | uncompress -c $un s ($(ratio "$un" "$zz")x)" \
  "${zz7:+| 7zz t $zz7 s ($(ratio "$zz7" "$zz")x)}"
echo "(ratios: the peer's time over zefa's; above 1 means zefa is faster)"
exit 0
