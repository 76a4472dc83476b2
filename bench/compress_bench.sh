#!/usr/bin/env bash
# Compresses one 200 MB mixed tree with zefa a (normal, max) and zip -r -6 /
# zip -r -9 and prints wall time and archive size with their ratios to zip.
# Usage: bench/compress_bench.sh [path/to/zefa]   (default: build/zefa)
set -euo pipefail
zefa=${1:-build/zefa}
zefa=$(realpath "$zefa")
command -v zip >/dev/null || { echo "zip not installed"; exit 1; }
work=$(mktemp -d /tmp/compress_bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

# 200 MB: text-like files (source code, logs), random blocks (media), many
# small files and a few large ones, in nested folders.
python3 - "$work/src" <<'PY'
import os, random, sys
root = sys.argv[1]
rnd = random.Random(7)
words = [bytes(rnd.choice(b"abcdefghijklmnopqrstuvwxyz_{}();=") for _ in range(rnd.randint(2, 9))) for _ in range(4000)]
def write(path, size, randomness):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        left = size
        while left > 0:
            if rnd.random() < randomness:
                chunk = rnd.randbytes(min(left, 65536))
            else:
                chunk = b" ".join(rnd.choice(words) for _ in range(12000))[:min(left, 65536)]
            f.write(chunk); left -= len(chunk)
write(f"{root}/media/big.bin", 80 * 2**20, 0.6)
for i in range(8):
    write(f"{root}/logs/log{i}.txt", 8 * 2**20, 0.0)
for i in range(2000):
    write(f"{root}/src/m{i // 100}/f{i}.c", 28 * 2**10, 0.05)
PY

# CPU seconds (user + system) of one run: wall time means little on a shared machine.
measure() {  # label, command...
  local label=$1; shift
  local TIMEFORMAT='%U %S'
  local t
  t=$( { time "$@" >/dev/null 2>&1; } 2>&1 )
  echo "$label $(echo "${t% *} + ${t#* }" | bc)"
}

cd "$work"
declare -A secs size
for run in "zefa_normal:$zefa a $work/zn.zip src -r --level normal" \
           "zip_6:zip -q -r -6 $work/z6.zip src" \
           "zefa_max:$zefa a $work/zx.zip src -r --level max" \
           "zip_9:zip -q -r -9 $work/z9.zip src"; do
  label=${run%%:*}; cmd=${run#*:}
  read -r _ t < <(measure "$label" $cmd)
  secs[$label]=$t
done
size[zefa_normal]=$(stat -c %s zn.zip); size[zip_6]=$(stat -c %s z6.zip)
size[zefa_max]=$(stat -c %s zx.zip); size[zip_9]=$(stat -c %s z9.zip)
printf "%-12s %10s %12s\n" run cpu_seconds bytes
for l in zefa_normal zip_6 zefa_max zip_9; do printf "%-12s %10.2f %12d\n" "$l" "${secs[$l]}" "${size[$l]}"; done
printf "normal: time ratio zefa/zip %.3f, size ratio %.4f\n" \
  "$(echo "${secs[zefa_normal]} / ${secs[zip_6]}" | bc -l)" "$(echo "${size[zefa_normal]} / ${size[zip_6]}" | bc -l)"
printf "max:    time ratio zefa/zip %.3f, size ratio %.4f\n" \
  "$(echo "${secs[zefa_max]} / ${secs[zip_9]}" | bc -l)" "$(echo "${size[zefa_max]} / ${size[zip_9]}" | bc -l)"
