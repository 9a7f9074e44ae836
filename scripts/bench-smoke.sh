#!/usr/bin/env bash
# The benchmarks as a build step: the release build compiles bench/ with the
# project's warnings (as errors) and runs each program once, briefly, so that
# a benchmark that no longer builds or fails at run time stops the run. The
# figures of so short a run mean nothing.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset release >/dev/null
cmake --build --preset release --target bench_all -j2
for program in build/release/bench/bench_*; do
  [[ -x $program && ! -d $program ]] || continue
  echo "== $(basename "$program")"
  # Google Benchmark 1.7 takes seconds as a bare number. The million-point
  # cases are left out: they alone would take a minute, and the same code
  # runs in their 100,001-point siblings. A benchmark that reports an error
  # (SkipWithError) fails the run too.
  output=$("$program" --benchmark_min_time=0.01 --benchmark_filter=-/1000001 2>&1) || {
    printf '%s\n' "$output"; echo "$program failed" >&2; exit 1; }
  printf '%s\n' "$output" | grep '^BM_'
  if grep -q 'ERROR OCCURRED' <<<"$output"; then
    printf '%s\n' "$output"; echo "$program reported an error" >&2; exit 1
  fi
done
