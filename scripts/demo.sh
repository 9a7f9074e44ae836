#!/usr/bin/env bash
# The main job, end to end on this machine: build qvzcheck and qvzsim, start
# the analyzer emulator on 127.0.0.1:5025, run qvzcheck against it
# (answering its key press) and show what the emulator now holds.
#
#   bash scripts/demo.sh              build (preset "package") and run
#   bash scripts/demo.sh --installed  run the qvzcheck and qvzsim on PATH
#                                     (e.g. from the Debian package)
#
# Exits non-zero, with the emulator's log, when the emulator cannot start
# (port 5025 taken, say) or qvzcheck reports an error. The last line says
# what was written and what the emulator holds.
set -euo pipefail
cd "$(dirname "$0")/.."

installed=false
case "${1:-}" in
  "") ;;
  --installed) installed=true ;;
  *) echo "usage: scripts/demo.sh [--installed]" >&2; exit 2 ;;
esac

dir=/tmp/VNA/Qaldorn
file="$dir/Antenna1_Port1.s2p"
work=$(mktemp -d /tmp/qvz-demo.XXXXXX)
sim=
cleanup() {
  if [[ -n "$sim" ]]; then kill -INT "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "== emulator log =="
  cat "$work/sim.log" 2>/dev/null || true
  echo "demo FAILED: $*"
  exit 1
}

if $installed; then
  qvzcheck=$(command -v qvzcheck) || { echo "demo FAILED: no qvzcheck on PATH"; exit 1; }
  qvzsim=$(command -v qvzsim) || { echo "demo FAILED: no qvzsim on PATH"; exit 1; }
else
  # Only what building the two programs needs (root, as on CI machines).
  missing=()
  for p in cmake make g++; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep "install ok installed" >/dev/null || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq >"$work/apt.log" 2>&1 &&
      apt-get install -y -qq --no-install-recommends "${missing[@]}" >>"$work/apt.log" 2>&1 ||
      { cat "$work/apt.log"; echo "demo FAILED: installing ${missing[*]}"; exit 1; }
  fi
  echo "building qvzcheck and qvzsim (log: build/demo-build.log)"
  mkdir -p build
  { cmake --preset package && cmake --build --preset package --target qvzcheck qvzsim; } \
    >build/demo-build.log 2>&1 || { tail -n 40 build/demo-build.log; echo "demo FAILED: build"; exit 1; }
  qvzcheck=build/package/demo/qvzcheck
  qvzsim=build/package/emulator/qvzsim
fi

mkdir -p "$dir"
rm -f "$file"

"$qvzsim" --port 5025 >"$work/sim.log" 2>&1 &
sim=$!
until grep -q '^qvzsim listening on ' "$work/sim.log"; do
  if ! kill -0 "$sim" 2>/dev/null; then
    wait "$sim" || true
    sim=
    fail "the emulator did not start"
  fi
  sleep 0.1
done

echo "== qvzcheck =="
echo | "$qvzcheck" | tee "$work/qvzcheck.out"
if grep '^Error number:' "$work/qvzcheck.out" >/dev/null; then
  fail "qvzcheck reported an error"
fi
test -s "$file" || fail "qvzcheck wrote no $file"

report=$("$qvzsim" --port 5025 --send ':SYSTem:FSIMulator:REPort?') || fail "the emulator did not report its state"
kill -INT "$sim"
wait "$sim" || true
sim=
echo "== emulator state =="
sed -n '/^Fixture simulator state/,$p' "$work/sim.log"
case "$report" in
  *"P1.DEEM=ON P1.DEEM.FILE=\"$file\""*) ;;
  *) fail "the emulator does not de-embed $file on port 1: $report" ;;
esac
echo "demo passed: qvzcheck wrote $file; the emulator de-embeds it on port 1 of channel 1 (simulator on)"
