#!/usr/bin/env bash
# Files per second of `vantrel segment --method slap` over the seven real
# samples twelve times each (84 files, symbolic links in a temporary folder),
# for each kind of output. Prints the best and the median of RUNS runs and
# the load average before each set, since the build machine is shared.
#
# usage: bench/batch_throughput.sh [VANTREL_PROGRAM] [RUNS] [extra segment flags...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tool=${1:-$root/build/default/bin/vantrel}
runs=${2:-5}
shift $(($# < 2 ? $# : 2))
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/in"
for i in $(seq 1 12); do
  for f in "$root"/samples/real/*.png; do
    ln -s "$f" "$work/in/$(basename "$f" .png)_$i.png"
  done
done
files=$(ls "$work/in" | wc -l)

measure() {
  local label=$1
  shift
  local times=()
  local load
  load=$(cut -d' ' -f1 /proc/loadavg)
  local TIMEFORMAT='%R %U %S'
  for _ in $(seq "$runs"); do
    rm -rf "$work/out"
    # Wall time, then user + system CPU time.
    times+=("$({ time "$tool" segment --method slap --no-progress -q --out "$work/out" "$@" \
      "$work/in" >/dev/null; } 2>&1 | awk '{ printf "%s %.3f", $1, $2 + $3 }')")
  done
  printf '%s\n' "${times[@]}" | sort -n | awk -v n="$files" -v label="$label" -v load="$load" '
    { t[NR] = $1; cpu[NR] = $2 }
    END {
      median = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
      printf "%-30s best %6.3f s (%6.1f files/s)  median %6.3f s (%6.1f files/s)  " \
             "CPU %.1f ms/file  load %s\n",
             label, t[1], n / t[1], median, n / median, 1000 * cpu[1] / n, load
    }'
}

echo "$files files, $runs runs each, $(nproc) cores, $tool $*"
measure "pictures + preview overlays" "$@"
measure "pictures, no overlays" --overlay none "$@"
measure "no pictures, no overlays" --no-images --overlay none "$@"
measure "pictures + full overlays" --overlay full "$@"
