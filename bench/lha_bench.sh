#!/usr/bin/env bash
# Tests LHA archives of ~200 MB of mixed data, packed by the lha tool with
# -lh5-, -lh6- and -lh7-, with `zefa t`, `7zz t` and `lhasa t`, interleaved
# (each round runs every tool once per archive), and prints the best wall
# time of each tool per method and its ratio to zefa. Use a Release build.
# Usage: bench/lha_bench.sh [path/to/zefa] [rounds]   (default: build/zefa, 3)
# LHA_BENCH_MB sets the input size in MB (default 200).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_zefa "${1:-}"
rounds=${2:-3}
mb=${LHA_BENCH_MB:-200}
bench_work lha_bench
need_tool lha "lha is needed to pack the input"

# Mixed data: text-like runs and random blocks, in one large file and a few
# smaller ones.
files=("big.bin:$((mb * 2**20 * 6 / 10)):0.2")
for i in $(seq 0 7); do files+=("part$i.bin:$((mb * 2**20 / 20)):0.2"); done
mixed_files "$work/src" 42 abcdefghijklmnopqrstuvwxyz 5000 "${files[@]}"

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

# Best of the rounds: wall time, and CPU time (user + system), which a busy
# machine disturbs less.
declare -A wall cpu
for r in $(seq "$rounds"); do
  for m in $methods; do
    for t in $tools; do
      /usr/bin/time -f "%e %U %S" -o "$work/time.txt" bash -c "$(declare -f run); zefa=$zefa run $t $work/lh$m.lzh" \
        >/dev/null 2>&1 || echo "$t failed on -lh$m-"
      read -r e u s < "$work/time.txt"
      c=$(echo "$u + $s" | bc)
      k="$t.$m"
      if [ -z "${wall[$k]:-}" ] || [ "$(echo "$e < ${wall[$k]}" | bc)" = 1 ]; then wall[$k]=$e; fi
      if [ -z "${cpu[$k]:-}" ] || [ "$(echo "$c < ${cpu[$k]}" | bc)" = 1 ]; then cpu[$k]=$c; fi
    done
  done
done

for what in wall cpu; do
  echo "$what time (best of $rounds):"
  printf '  %-8s' method; for t in $tools; do printf '%10s' "$t"; done
  for t in $tools; do [ "$t" = zefa ] || printf '%12s' "$t/zefa"; done; echo
  for m in $methods; do
    printf '  %-8s' "-lh$m-"
    for t in $tools; do eval "v=\${$what[$t.$m]}"; printf '%9.2fs' "$v"; done
    eval "z=\${$what[zefa.$m]}"
    for t in $tools; do
      [ "$t" = zefa ] && continue
      eval "v=\${$what[$t.$m]}"
      printf '%12.2f' "$(echo "scale=2; $v / $z" | bc)"
    done
    echo
  done
done
