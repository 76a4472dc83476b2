#!/usr/bin/env bash
# Compresses one ~200 MB mixed tree (text, structured binary, random) with
# zefa a -f lha --method lh5 / lh6 and with jlha (lha ao5 / ao6), runs
# interleaved, and prints wall and CPU seconds, archive sizes and the ratios
# zefa/jlha. Build zefa as Release first (cmake -DCMAKE_BUILD_TYPE=Release).
# Usage: bench/lha_pack_bench.sh [path/to/zefa] [repetitions]   (defaults: build/zefa, 3)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_zefa "${1:-}"
reps=${2:-3}
need_tool lha "lha (jlha) not installed"
bench_work lha_pack_bench

python3 - "$work/src" <<'PY'
import os, random, struct, sys
root = sys.argv[1]
rnd = random.Random(11)
words = [bytes(rnd.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rnd.randint(2, 10))) for _ in range(5000)]
def text(n):
    out = bytearray()
    while len(out) < n:
        line = b" ".join(rnd.choice(words) for _ in range(rnd.randint(3, 14)))
        out += b"    " * rnd.randint(0, 3) + line + b";\n"
    return bytes(out[:n])
def binary(n):
    # Records of small integers, offsets and tags: the texture of executables and databases.
    out = bytearray()
    base = 0x401000
    while len(out) < n:
        base += rnd.randint(1, 64) * 4
        out += struct.pack("<IHHBB", base, rnd.randint(0, 300), rnd.choice((0, 1, 2, 0xFFFF)),
                           rnd.randint(0, 15), rnd.choice(b"\x00\x48\x89\xe8\xc3"))
        if rnd.random() < 0.2:
            out += rnd.choice(words) + b"\x00"
    return bytes(out[:n])
def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
for i in range(6):
    write(f"{root}/text/doc{i}.txt", text(15 * 2**20))
for i in range(5):
    write(f"{root}/bin/prog{i}.dat", binary(14 * 2**20))
write(f"{root}/media/noise.bin", rnd.randbytes(40 * 2**20))
for i in range(400):
    write(f"{root}/small/d{i // 50}/f{i}.txt", text(rnd.randint(1000, 60000)))
PY
echo "input: $(du -sb "$work/src" | cut -f1) bytes in $(find "$work/src" -type f | wc -l) files"

cd "$work"
declare -A wall cpu size
for ((r = 1; r <= reps; r++)); do
  for m in 5 6; do
    rm -f "zefa$m.lzh" "jlha$m.lzh"
    read -r w c < <(wall_cpu_seconds "$zefa" a -f lha --method "lh$m" -r "zefa$m.lzh" src)
    wall[zefa$m]+="$w "; cpu[zefa$m]+="$c "
    read -r w c < <(wall_cpu_seconds lha "ao$m" "jlha$m.lzh" src)
    wall[jlha$m]+="$w "; cpu[jlha$m]+="$c "
    size[zefa$m]=$(stat -c %s "zefa$m.lzh"); size[jlha$m]=$(stat -c %s "jlha$m.lzh")
  done
done
lhasa t zefa5.lzh >/dev/null && lhasa t zefa6.lzh >/dev/null || { echo "lhasa rejects an archive"; exit 1; }

printf "%-7s %10s %10s %12s\n" run best_wall best_cpu bytes
for k in zefa5 jlha5 zefa6 jlha6; do
  printf "%-7s %10.2f %10.2f %12d\n" "$k" "$(min_time "${wall[$k]}")" "$(min_time "${cpu[$k]}")" "${size[$k]}"
done
for m in 5 6; do
  printf "lh%s: zefa/jlha wall %.3f, cpu %.3f, size %.4f\n" "$m" \
    "$(echo "$(min_time "${wall[zefa$m]}") / $(min_time "${wall[jlha$m]}")" | bc -l)" \
    "$(echo "$(min_time "${cpu[zefa$m]}") / $(min_time "${cpu[jlha$m]}")" | bc -l)" \
    "$(echo "${size[zefa$m]} / ${size[jlha$m]}" | bc -l)"
done
