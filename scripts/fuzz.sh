#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz": clang, ASan + UBSan) and runs
# each one for a bounded time, starting from its committed seed corpus in
# fuzz/corpus/<target>/. Fails when any target finds a crash, a leak, a
# sanitizer report or a broken invariant; the input that did it is kept as
# <build>/fuzz-artifacts/<target>-crash-* (turn it into a regression test).
#
#   scripts/fuzz.sh [seconds-per-target]      (default 60)
#
# The build directory is build/fuzz, or $QVZ_FUZZ_BUILD_DIR. Inputs the
# fuzzer finds go to <build>/fuzz-corpus/<target>/, never into the seeds.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || (( seconds < 1 )); then
  echo "usage: $0 [seconds-per-target]" >&2
  exit 2
fi
build=${QVZ_FUZZ_BUILD_DIR:-build/fuzz}
start=$(date +%s)

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" --target fuzz_all -j2

build=$(cd "$build" && pwd)
artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"
targets=(fuzz_visa_read_format fuzz_scpi_parser fuzz_touchstone_reader fuzz_api)
summary=()
failed=0

for target in "${targets[@]}"; do
  binary="$build/fuzz/$target"
  seeds="$PWD/fuzz/corpus/$target"
  work="$build/fuzz-corpus/$target"
  log="$build/fuzz-logs/$target.log"
  mkdir -p "$work" "$(dirname "$log")"
  echo "== $target: ${seconds} s"
  set +e
  # -timeout: one input taking this long counts as a hang (a finding too).
  "$binary" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2560 \
    -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
    "$work" "$seeds" >"$log" 2>&1
  code=$?
  set -e
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n1)
  if (( code != 0 )); then
    failed=1
    echo "!! $target failed (exit $code); last lines of $log:"
    tail -n 40 "$log"
    summary+=("$(printf '%-24s FAILED  %12s execs  %8s exec/s' "$target" "${runs:-?}" "${rate:-?}")")
  else
    summary+=("$(printf '%-24s ok      %12s execs  %8s exec/s' "$target" "${runs:-?}" "${rate:-?}")")
  fi
done

echo
echo "fuzzing summary (${seconds} s per target):"
printf '  %s\n' "${summary[@]}"
echo "total time: $(( $(date +%s) - start )) s"
exit "$failed"
