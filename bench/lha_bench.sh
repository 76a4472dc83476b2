#!/usr/bin/env bash
# Tests LHA archives of ~200 MB of mixed data, packed by the lha tool with
# -lh5-, -lh6- and -lh7-, with `zefa t`, `7zz t` and `lhasa t`, interleaved
# (each round runs every tool once per archive), and prints the best wall
# time of each tool per method and its ratio to zefa. Use a Release build.
# Usage: bench/lha_bench.sh [path/to/zefa] [rounds]   (default: build/zefa, 3)
# LHA_BENCH_MB sets the input size in MB (default 200).
set -euo pipefail
zefa=$(realpath "${1:-build/zefa}")
rounds=${2:-3}
mb=${LHA_BENCH_MB:-200}
work=$(mktemp -d /tmp/lha_bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
command -v lha >/dev/null || { echo "lha is needed to pack the input"; exit 1; }

# Mixed data: text-like runs and random blocks, in one large file and a few
# smaller ones.
python3 - "$work/src" "$mb" <<'PY'
import os, random, sys
root, mb = sys.argv[1], int(sys.argv[2]); os.makedirs(root)
rnd = random.Random(42)
words = [bytes(rnd.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rnd.randint(2, 9))) for _ in range(5000)]
def write(name, size):
    with open(os.path.join(root, name), "wb") as f:
        left = size
        while left > 0:
            if rnd.random() < 0.2:
                chunk = rnd.randbytes(min(left, 65536))
            else:
                chunk = b" ".join(rnd.choice(words) for _ in range(12000))[:min(left, 65536)]
            f.write(chunk); left -= len(chunk)
write("big.bin", mb * 2**20 * 6 // 10)
for i in range(8):
    write("part%d.bin" % i, mb * 2**20 // 20)
PY

methods="5 6 7"
for m in $methods; do
  (cd "$work" && lha "c2o$m" "$work/lh$m.lzh" src >/dev/null 2>&1)
  echo "-lh$m-: $(du -m "$work/lh$m.lzh" | cut -f1) MB packed from $(du -sm "$work/src" | cut -f1) MB"
done

tools="zefa"
command -v 7zz >/dev/null && tools="$tools 7zz"
command -v lhasa >/dev/null && tools="$tools lhasa"

run() {  # tool archive
  case $1 in
    zefa) "$zefa" t "$2" ;;
    7zz) 7zz t "$2" ;;
    lhasa) lhasa t "$2" ;;
  esac
}

declare -A best
for r in $(seq "$rounds"); do
  for m in $methods; do
    for t in $tools; do
      s=$(date +%s.%N)
      run "$t" "$work/lh$m.lzh" >/dev/null 2>&1 || echo "$t failed on -lh$m-"
      e=$(echo "$(date +%s.%N) - $s" | bc)
      k="$t.$m"
      if [ -z "${best[$k]:-}" ] || [ "$(echo "$e < ${best[$k]}" | bc)" = 1 ]; then best[$k]=$e; fi
    done
  done
done

printf '%-8s' method; for t in $tools; do printf '%10s' "$t"; done; for t in $tools; do [ "$t" = zefa ] || printf '%12s' "$t/zefa"; done; echo
for m in $methods; do
  printf '%-8s' "-lh$m-"
  for t in $tools; do printf '%9.2fs' "${best[$t.$m]}"; done
  for t in $tools; do [ "$t" = zefa ] || printf '%12.2f' "$(echo "scale=2; ${best[$t.$m]} / ${best[zefa.$m]}" | bc)"; done
  echo
done
