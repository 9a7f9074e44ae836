#!/usr/bin/env bash
# The apply and the file write next to the machine's floor (one write() per
# line, same directory), at 201, 100,001 and 1,000,001 points: medians of 5
# repetitions and their ratio. Given a second build directory (the code
# before a change, built with the same bench/ sources), its programs run
# right after each of this build's, so before and after share one run.
#
#   bench/floor_ratio.sh [build/release] [baseline build/release]
set -euo pipefail

builds=("${1:-build/release}")
if [ $# -ge 2 ]; then builds+=("$2"); fi

# Prints "name median-real-time unit" for every benchmark of the program.
medians() {
    "$1" --benchmark_filter="$2" --benchmark_repetitions=5 \
        --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
        awk -F, '{ gsub(/"/, "", $1) } $1 ~ /_median$/ { sub(/\/real_time_median$/, "", $1); print $1, $3, $5 }'
}

# Prints each size's work/floor ratio from "name time unit" lines.
ratios() {
    awk -v work="$1" -v floor="$2" '
        { split($1, part, "/"); t[part[1], part[2]] = $2; unit = $3; sizes[part[2]] = 1 }
        END {
            for (n in sizes) if ((work, n) in t && (floor, n) in t)
                printf "  %-8s %9.3f %s / %9.3f %s = %.3f\n", n, t[work, n], unit, t[floor, n], unit,
                       t[work, n] / t[floor, n]
        }' | sort -n
}

for program in bench_apply bench_writer; do
    if [ "$program" = bench_apply ]; then
        filter='BM_ApplyOverLoopback|BM_ApplyFloor'; work=BM_ApplyOverLoopback; floor=BM_ApplyFloor
    else
        filter='BM_WriteTouchstoneFile|BM_WriteFloor'; work=BM_WriteTouchstoneFile; floor=BM_WriteFloor
    fi
    for build in "${builds[@]}"; do
        echo "$build/bench/$program: $work / $floor (points, medians of 5)"
        medians "$build/bench/$program" "$filter" | ratios "$work" "$floor"
    done
done
