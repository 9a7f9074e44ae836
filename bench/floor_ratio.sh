#!/usr/bin/env bash
# The apply and the file write next to the machine's floor (one write() per
# line, same directory), at 201, 100,001 and 1,000,001 points: medians of 5
# repetitions. BM_ApplyAgainstFloor and BM_WriterAgainstFloor take the work
# and the floor in turn within each iteration and report the ratio; the
# separate BM_ApplyOverLoopback / BM_ApplyFloor pair follows for reference.
# Given a second build directory (the code before a change, built with the
# same bench/ sources), its programs run right after each of this build's,
# so before and after share one run.
#
#   bench/floor_ratio.sh [build/release] [baseline build/release]
set -euo pipefail

builds=("${1:-build/release}")
if [ $# -ge 2 ]; then builds+=("$2"); fi

run() {
    "$1" --benchmark_filter="$2" --benchmark_repetitions=5 \
        --benchmark_report_aggregates_only=true 2>/dev/null | grep '_median' || true
}

for filter in 'BM_ApplyAgainstFloor' 'BM_WriterAgainstFloor' 'BM_ApplyOverLoopback|BM_ApplyFloor'; do
    case "$filter" in
        BM_Writer*) program=bench_writer ;;
        *) program=bench_apply ;;
    esac
    for build in "${builds[@]}"; do
        echo "== $build/bench/$program ($filter)"
        run "$build/bench/$program" "$filter"
    done
done
