#!/usr/bin/env bash
# The main job, end to end on this machine: build, start the analyzer
# emulator on 127.0.0.1:5025, prepare the Touchstone directory, run qvzcheck
# (answering its key press), show what the emulator now holds, stop it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake --preset dev >/dev/null
cmake --build --preset dev --target qvzcheck qvzsim -j2

bin=build/dev
dir=/tmp/VNA/Qaldorn
mkdir -p "$dir"
log=$(mktemp /tmp/qvzsim.XXXXXX.log)

"$bin/emulator/qvzsim" --port 5025 --http 0 >"$log" 2>&1 &
sim=$!
trap 'kill -INT $sim 2>/dev/null || true; wait $sim 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  (exec 3<>/dev/tcp/127.0.0.1/5025) 2>/dev/null && break
  sleep 0.1
done

screen=
for _ in $(seq 50); do
  screen=$(grep -o 'http://[^ ]*' "$log" | head -n 1 || true)
  [[ -n $screen ]] && break
  sleep 0.1
done
echo "== the emulator's screen: ${screen:-not started} =="
echo "== qvzcheck =="
echo | "$bin/demo/qvzcheck"
echo "== emulator state =="
exec 3<>/dev/tcp/127.0.0.1/5025
printf ':SYSTem:FSIMulator:REPort?\n' >&3
read -r -t 5 report <&3 || true
exec 3>&-
echo "$report"
echo "== files in $dir =="
ls -l "$dir"
if [[ -t 0 && -n $screen ]]; then
  read -r -p "The screen is at $screen - press Enter to stop the emulator. "
fi
kill -INT $sim
wait $sim || true
trap - EXIT
echo "== emulator log: $log =="
tail -n 30 "$log"
