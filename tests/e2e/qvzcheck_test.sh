#!/usr/bin/env bash
# qvzcheck against the emulator on 127.0.0.1:5025: the exact console output,
# the emulator's resulting state, and the run with nothing listening.
set -euo pipefail
qvzcheck=${1:?qvzcheck}
qvzsim=${2:?qvzsim}
dir=/tmp/VNA/Qaldorn
work=$(mktemp -d)
trap 'kill $sim 2>/dev/null || true; rm -rf "$work"' EXIT

expect_output() {
  diff -u "$1" "$2" || { echo "qvzcheck output differs"; exit 1; }
}

# 1. Nothing listening: only the error line and the prompt.
sim=
echo | "$qvzcheck" >"$work/out1"
printf 'Error number: 0xBFFF0011\nPress a Key to Exit\n' >"$work/want1"
expect_output "$work/want1" "$work/out1"

# 2. Against the emulator.
mkdir -p "$dir"
rm -f "$dir/Antenna1_Port1.s2p"
"$qvzsim" --port 5025 --quiet >"$work/sim.log" 2>&1 &
sim=$!
for _ in $(seq 100); do
  (exec 3<>/dev/tcp/127.0.0.1/5025) 2>/dev/null && break
  sleep 0.1
done
echo | "$qvzcheck" >"$work/out2"
cat >"$work/want2" <<OUT
Selected Port: 1
Circuit: Series C - Shunt L
Smoothing: E12
Original data: R=5.1310E+01 L=1.1270E-09 C=1.3014E-12 G=1.9220E-02
Smoothed data: R=4.7000E+01 L=1.2000E-09 C=1.2000E-12 G=1.8000E-02
Action: Deembedding
Touchstone File Path: $dir/
File Prefix: Antenna1_
Apply Immediate: Yes
Press a Key to Exit
OUT
expect_output "$work/want2" "$work/out2"
test -s "$dir/Antenna1_Port1.s2p"

# What the emulator holds now.
exec 3<>/dev/tcp/127.0.0.1/5025
printf ':SYSTem:FSIMulator:REPort?\n' >&3
read -r -t 5 report <&3
exec 3>&-
echo "emulator: $report"
case "$report" in
  *"CH1 SIM=ON"*"P1.DEEM=ON P1.DEEM.FILE=\"$dir/Antenna1_Port1.s2p\""*) ;;
  *) echo "emulator does not hold port 1's de-embedding file"; exit 1 ;;
esac
echo "qvzcheck against the emulator: as expected"
