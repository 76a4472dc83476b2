#!/usr/bin/env bash
# Tests one ~200 MB ARJ archive (method 1, made by arj a -m1) with zefa t,
# arj t and 7zz t, runs interleaved, and prints the best CPU seconds of each
# with the ratios to zefa.
# Usage: bench/arj_bench.sh [path/to/zefa]   (default: build-arj-rel/zefa, built here in Release)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
zefa=${1:-}
if [ -z "$zefa" ]; then
  cmake -S "$root" -B "$root/build-arj-rel" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZEFA_GUI=OFF -DZEFA_TESTS=OFF \
    -DZEFA_BENCH=OFF >/dev/null
  ninja -C "$root/build-arj-rel" zefa >/dev/null
  zefa=$root/build-arj-rel/zefa
fi
zefa=$(realpath "$zefa")
command -v arj >/dev/null || { echo "arj not installed"; exit 1; }
runs=${RUNS:-3}
work=$(mktemp -d /tmp/arj_bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

# ~200 MB of mixed data: text-like runs and random blocks in files of
# different sizes.
python3 - "$work/src" <<'PY'
import os, random, sys
root = sys.argv[1]; os.makedirs(root)
rnd = random.Random(42)
words = [bytes(rnd.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rnd.randint(2, 9))) for _ in range(5000)]
def write(name, size, randomness):
    with open(os.path.join(root, name), "wb") as f:
        left = size
        while left > 0:
            if rnd.random() < randomness:
                chunk = rnd.randbytes(min(left, 65536))
            else:
                chunk = b" ".join(rnd.choice(words) for _ in range(12000))[:min(left, 65536)]
            f.write(chunk); left -= len(chunk)
write("big.bin", 100 * 2**20, 0.25)
write("text.txt", 60 * 2**20, 0.0)
for i in range(40):
    write(f"f{i}.dat", 2**20, 0.1)
PY
(cd "$work/src" && arj a -m1 -y "$work/a.arj" ./* >/dev/null)
"$zefa" t "$work/a.arj" >/dev/null || { echo "zefa t failed on the archive"; exit 1; }
echo "archive: $(du -m "$work/a.arj" | cut -f1) MB from $(du -sm "$work/src" | cut -f1) MB"

# CPU seconds (user + system) of one run: wall time means little on a shared machine.
cpu() {
  local TIMEFORMAT='%U %S' t
  t=$( { time "$@" >/dev/null 2>&1; } 2>&1 )
  echo "${t% *} + ${t#* }" | bc
}
best() { [ -z "$1" ] && echo "$2" || echo "if ($2 < $1) $2 else $1" | bc; }
t_zefa= t_arj= t_7zz=
for ((i = 0; i < runs; i++)); do
  t_zefa=$(best "$t_zefa" "$(cpu "$zefa" t "$work/a.arj")")
  t_arj=$(best "$t_arj" "$(cpu arj t -y "$work/a.arj")")
  command -v 7zz >/dev/null && t_7zz=$(best "$t_7zz" "$(cpu 7zz t "$work/a.arj")")
done
echo "zefa t: $t_zefa s"
echo "arj t:  $t_arj s   (arj / zefa: $(echo "scale=2; $t_arj / $t_zefa" | bc))"
[ -n "$t_7zz" ] && echo "7zz t:  $t_7zz s   (7zz / zefa: $(echo "scale=2; $t_7zz / $t_zefa" | bc))"
exit 0
