# What the benchmark scripts share, sourced by each: finding zefa, the work
# folder, the peer checks, the generated input and the timing of one run.
# The scripts run with set -euo pipefail.

# Sets zefa to the absolute path of the first argument; without one, to
# build/zefa, or (with a build folder name) to a Release zefa built there.
bench_zefa() {  # [path] [build folder]
  zefa=${1:-}
  if [ -z "$zefa" ] && [ -n "${2:-}" ]; then
    local root build
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    build=$root/$2
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZEFA_GUI=OFF -DZEFA_TESTS=OFF \
      -DZEFA_BENCH=OFF >/dev/null
    ninja -C "$build" zefa >/dev/null
    zefa=$build/zefa
  fi
  zefa=$(realpath "${zefa:-build/zefa}")
}

# Sets work to a fresh folder under /tmp, removed when the script exits.
bench_work() {  # name
  work=$(mktemp -d "/tmp/$1-XXXXXX")
  trap 'rm -rf "$work"' EXIT
}

# Ends the script when a peer the benchmark needs is missing.
need_tool() {  # tool [message]
  command -v "$1" >/dev/null || { echo "${2:-$1 not installed}"; exit 1; }
}

# Writes files of mixed data below a folder: text-like runs of random words
# and random blocks, 64 KiB at a time, each block random with the file's
# probability. The same seed and list give the same bytes.
mixed_files() {  # folder seed alphabet words name:bytes:randomness...
  python3 - "$@" <<'PY'
import os, random, sys
root, seed, alphabet, nwords = sys.argv[1], int(sys.argv[2]), sys.argv[3].encode(), int(sys.argv[4])
os.makedirs(root, exist_ok=True)
rnd = random.Random(seed)
words = [bytes(rnd.choice(alphabet) for _ in range(rnd.randint(2, 9))) for _ in range(nwords)]
for wanted in sys.argv[5:]:
    name, size, randomness = wanted.rsplit(":", 2)
    path = os.path.join(root, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        left = int(size)
        while left > 0:
            if rnd.random() < float(randomness):
                chunk = rnd.randbytes(min(left, 65536))
            else:
                chunk = b" ".join(rnd.choice(words) for _ in range(12000))[:min(left, 65536)]
            f.write(chunk); left -= len(chunk)
PY
}

# CPU seconds (user + system) of one run: wall time means little on a shared machine.
cpu_seconds() {  # command...
  local TIMEFORMAT='%U %S' t
  t=$( { time "$@" >/dev/null 2>&1; } 2>&1 )
  echo "${t% *} + ${t#* }" | bc
}

# Wall seconds and CPU seconds (user + system, all threads) of one run.
wall_cpu_seconds() {  # command...
  local TIMEFORMAT='%R %U %S' t wall user sys
  t=$( { time "$@" >/dev/null 2>&1; } 2>&1 )
  read -r wall user sys <<<"$t"
  echo "$wall $(echo "$user + $sys" | bc)"
}

# Wall seconds of one run; a failed run is said on stderr.
wall_seconds() {  # command...
  local s e
  s=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || echo "failed: $*" >&2
  e=$(date +%s.%N)
  echo "$e - $s" | bc
}

# The smaller of a best so far (empty at first) and a new time.
best_of() {  # best-so-far time
  [ -z "$1" ] && echo "$2" || echo "if ($2 < $1) $2 else $1" | bc
}

# The smallest of the times given (as arguments, or in one space-separated list).
min_time() {  # times...
  printf '%s\n' $* | grep . | sort -g | head -1
}

# The median of the times given (as arguments, or in one space-separated list).
median_time() {  # times...
  printf '%s\n' $* | grep . | sort -g | awk '{v[NR] = $1} END {print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2)}'
}

# a / b to two decimals.
ratio() {  # a b
  echo "scale=2; $1 / $2" | bc
}
