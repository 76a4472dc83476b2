#!/usr/bin/env bash
# One large mixed file (text, machine code, random bytes: ~100 MB) into ZIP:
# zefa a -f zip against zip -6 and pigz -6 (the anchor: the same pieces on
# every core), interleaved, medians of wall and CPU seconds, sizes and the
# ratios zefa/zip. Build zefa as Release first.
# Usage: bench/zip_pack_bench.sh [path/to/zefa] [repetitions]   (defaults: build/zefa, 3)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_zefa "${1:-}"
reps=${2:-3}
need_tool zip "zip not installed"
need_tool pigz "pigz not installed (scripts/setup)"
bench_work zip_pack_bench

# The file: 40 MB of text, 45 MB of shared libraries, 15 MB of noise.
python3 - "$work/big.bin" <<'PY'
import glob, os, random, sys
rnd = random.Random(7)
def gather(patterns, limit):
    out = bytearray()
    for pat in patterns:
        for f in sorted(glob.glob(pat, recursive=True)):
            if os.path.isfile(f) and not os.path.islink(f) and not f.endswith(".gz"):
                try:
                    out += open(f, "rb").read()
                except OSError:
                    pass
            if len(out) >= limit:
                return bytes(out[:limit])
    return bytes(out)
with open(sys.argv[1], "wb") as f:
    f.write(gather(["/usr/share/doc/**/*", "/usr/include/**/*.h"], 40 << 20))
    f.write(gather(["/usr/lib/x86_64-linux-gnu/*.so*", "/usr/lib/**/*.so*"], 45 << 20))
    f.write(rnd.randbytes(15 << 20))
PY
echo "input: $(stat -c %s "$work/big.bin") bytes; $(nproc) cores; load: $(cut -d' ' -f1-3 /proc/loadavg)"

cd "$work"
median() { tr ' ' '\n' <<<"$1" | grep . | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
declare -A wall cpu size
for ((r = 1; r <= reps; r++)); do
  for k in zip zefa pigz; do
    rm -f out.zip out.gz
    case $k in
      zip) read -r w c < <(wall_cpu_seconds zip -6 -q out.zip big.bin); size[$k]=$(stat -c %s out.zip) ;;
      zefa) read -r w c < <(wall_cpu_seconds "$zefa" a -f zip out.zip big.bin); size[$k]=$(stat -c %s out.zip)
        unzip -tq out.zip >/dev/null || { echo "unzip rejects zefa's archive"; exit 1; } ;;
      pigz) read -r w c < <(wall_cpu_seconds sh -c "pigz -6 -c big.bin > out.gz"); size[$k]=$(stat -c %s out.gz) ;;
    esac
    wall[$k]+="$w "; cpu[$k]+="$c "
  done
done
printf "%-6s %10s %10s %12s\n" run med_wall med_cpu bytes
for k in zip zefa pigz; do
  printf "%-6s %10.2f %10.2f %12d\n" "$k" "$(median "${wall[$k]}")" "$(median "${cpu[$k]}")" "${size[$k]}"
done
for k in zefa pigz; do
  printf "%s/zip -6: wall %.3f, cpu %.3f, size %.4f\n" "$k" \
    "$(echo "$(median "${wall[$k]}") / $(median "${wall[zip]}")" | bc -l)" \
    "$(echo "$(median "${cpu[$k]}") / $(median "${cpu[zip]}")" | bc -l)" \
    "$(echo "${size[$k]} / ${size[zip]}" | bc -l)"
done
