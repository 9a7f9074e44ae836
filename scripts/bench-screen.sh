#!/usr/bin/env bash
# The emulator's SCPI latency with and without its screen open in a browser,
# on one emulator (release build), alternating: closed, open, closed, open.
# The page polls /state.json every 300 ms and redraws when the state changes.
# Needs what scripts/test-browser.sh installs.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build --preset release --target qvzsim bench_emulator_dialogue -j2 >/dev/null

out=$(mktemp -d /tmp/qvz-bench-screen.XXXXXX)
build/release/emulator/qvzsim --port 0 --http 0 --quiet >"$out/sim.log" &
sim=$!
page=
cleanup() {
  [[ -n $page ]] && kill "$page" 2>/dev/null && wait "$page" 2>/dev/null
  kill -INT "$sim" 2>/dev/null; wait "$sim" 2>/dev/null
  true
}
trap cleanup EXIT
for _ in $(seq 50); do grep -q 'screen on' "$out/sim.log" && break; sleep 0.1; done
port=$(grep -o 'listening on [^ ]*' "$out/sim.log" | grep -o '[0-9]*$')
url=$(grep -o 'http://[^ ]*' "$out/sim.log")

run() {  # run NAME
  QVZSIM_BENCH_PORT=$port build/release/bench/bench_emulator_dialogue \
    --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_min_time=1 \
    --benchmark_format=console 2>/dev/null | grep -E '_(median|stddev) ' | sed "s/^/$1 /"
}
for round in 1 2; do
  run "closed$round"
  /usr/bin/python3 tests/browser/hold_page.py "$url" >"$out/page.log" 2>&1 &
  page=$!
  for _ in $(seq 1200); do grep -q open "$out/page.log" && break; sleep 0.1; done
  run "open$round  "
  kill "$page"; wait "$page" 2>/dev/null || true
  page=
done
