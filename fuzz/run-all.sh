#!/usr/bin/env bash
# Runs every fuzz target of the fuzz preset for a bounded time, two at a time,
# starting from its committed corpus. New inputs go to a scratch folder, never
# into fuzz/corpus. Fails when any target crashes, leaks or breaks its checks;
# the input that did it is kept under build/fuzz/artifacts.
#
#   fuzz/run-all.sh [SECONDS_PER_TARGET [PARALLEL_JOBS]]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
jobs=${2:-2}
bin=build/fuzz/fuzz
runs=build/fuzz/runs
artifacts=build/fuzz/artifacts
rm -rf "$runs" "$artifacts"
mkdir -p "$runs" "$artifacts"

targets=()
for exe in "$bin"/fuzz_*; do
  name=${exe##*/fuzz_}
  [ -x "$exe" ] && [ -d "fuzz/corpus/$name" ] && targets+=("$name")
done
if ((${#targets[@]} == 0)); then
  echo "no fuzz targets built under $bin" >&2
  exit 1
fi

run_one() {
  local name=$1 seconds=$2 bin=$3 runs=$4 artifacts=$5
  mkdir -p "$runs/$name"
  local log="$runs/$name.log"
  local status=0
  "$bin/fuzz_$name" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2560 \
    -print_final_stats=1 -artifact_prefix="$artifacts/$name-" \
    "$runs/$name" "fuzz/corpus/$name" >"$log" 2>&1 || status=$?
  local execs
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if ((status == 0)); then
    echo "fuzz $name: ${execs:-?} runs in ${seconds}s, clean"
  else
    echo "fuzz $name: FAILED (exit $status); log $log"
    grep -E "^INFO: Seed|ERROR|contract broken|SUMMARY|Test unit written" "$log" | head -20 || true
    # The failing input, so that it can be reproduced from the CI log alone
    # (base64 -d > input; build/fuzz/fuzz/fuzz_NAME input).
    local artifact
    for artifact in "$artifacts/$name"-*; do
      [ -f "$artifact" ] || continue
      if (($(stat -c %s "$artifact") <= 65536)); then
        echo "--- $artifact (base64)"
        base64 -w 100 "$artifact"
      fi
    done
    return 1
  fi
}
export -f run_one

start=$(date +%s)
failed=0
printf '%s\n' "${targets[@]}" |
  xargs -P "$jobs" -I{} bash -c 'run_one "$@"' _ {} "$seconds" "$bin" "$runs" "$artifacts" ||
  failed=1
echo "fuzzing: ${#targets[@]} targets, $(($(date +%s) - start))s"
exit $failed
