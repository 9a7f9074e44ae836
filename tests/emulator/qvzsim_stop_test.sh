#!/usr/bin/env bash
# qvzsim stops within 2 s of SIGTERM whatever its clients do: one asks for
# tens of megabytes and never reads them, one names a FIFO nobody writes,
# one waits for a reply held back ten minutes, one sits idle. It exits 0 and
# still prints its state.
set -euo pipefail
qvzsim=${1:?qvzsim}
work=$(mktemp -d)
sim=
trap '[[ -n $sim ]] && kill -9 "$sim" 2>/dev/null; rm -rf "$work"' EXIT

"$qvzsim" --port 0 --quiet --points 200001 >"$work/out" 2>"$work/err" &
sim=$!
port=
for _ in $(seq 100); do
  if grep -q 'listening on' "$work/out"; then
    port=$(grep -m1 'listening on' "$work/out" | grep -o '[0-9]*$')
    break
  fi
  sleep 0.1
done
[[ -n $port ]] || { cat "$work/out" "$work/err"; echo "qvzsim did not start"; exit 1; }

lists=SENS:FREQ:DATA?
for _ in $(seq 9); do lists+=";SENS:FREQ:DATA?"; done
exec 3<>"/dev/tcp/127.0.0.1/$port"
printf '%s\n' "$lists" >&3

mkfifo "$work/fifo.s2p"
exec 4<>"/dev/tcp/127.0.0.1/$port"
printf 'CALC:FSIM:SEND:DEEM:PORT1:USER:FIL "%s"\n' "$work/fifo.s2p" >&4

exec 5<>"/dev/tcp/127.0.0.1/$port"
printf 'SYST:FAUL:DEL "*IDN?",600000\n*IDN?\n' >&5

exec 6<>"/dev/tcp/127.0.0.1/$port"

sleep 1  # the replies are being made and sent meanwhile
kill -TERM "$sim"
for _ in $(seq 20); do
  kill -0 "$sim" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$sim" 2>/dev/null; then
  echo "qvzsim still runs 2 s after SIGTERM"
  exit 1
fi
status=0
wait "$sim" || status=$?
sim=
[[ $status -eq 0 ]] || { cat "$work/err"; echo "qvzsim exited with $status"; exit 1; }
grep -q '^Fixture simulator state' "$work/out" || { cat "$work/out"; echo "no state printed"; exit 1; }
echo "qvzsim stopped on SIGTERM"
