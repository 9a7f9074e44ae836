#!/usr/bin/env bash
# The Windows x64 stage: cross-builds the DLL, the client, the emulator and
# the tests with MinGW-w64 (preset mingw), runs the unit tests under Wine,
# checks the DLL's export table, and runs qvzcheck.exe against qvzsim.exe
# under Wine on 127.0.0.1:5025.
#
# Wine runs in a throwaway prefix under /tmp. qvzcheck writes its Touchstone
# file to C:\VNA\Qaldorn, which inside the prefix is
# $WINEPREFIX/drive_c/VNA/Qaldorn: the script creates that directory before
# the run and looks for the file there afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
stage() { echo "== $* ($(( $(date +%s) - start )) s)"; }

# 1. Tools, from Debian's packages, only when missing (needs root, as on CI).
packages=(cmake make g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest wine wine64
          icoutils unzip)
stage "tools"
scripts/apt-ensure.sh "${packages[@]}"

# 2. A fresh Wine prefix, quiet. Its first start takes a while; doing it
# before the build keeps that out of the tests' time limits.
WINEPREFIX=$(mktemp -d /tmp/qvz-wine.XXXXXX)
export WINEPREFIX WINEDEBUG=-all WINEARCH=win64
sim=
cleanup() {
  if [[ -n "$sim" ]]; then kill "$sim" 2>/dev/null || true; fi
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
stage "preparing the Wine prefix $WINEPREFIX"
wineboot -i >/dev/null 2>&1 || true
wineserver -w
# One server for the whole stage: left to itself, wineserver exits a few
# seconds after its last client, and a test program starting in that moment
# loses its connection before its first instruction. Wine's background
# services are started here, with no terminal of the tests' as their output,
# or ctest would wait for the first test's output until they ended.
wineserver -p
wineboot </dev/null >/dev/null 2>&1 || true

# 3. Build and unit tests (ctest runs each test program through Wine).
stage "building (preset mingw)"
scripts/fetch-httplib-source.sh  # the header-only cpp-httplib for the emulator's screen
cmake --preset mingw
cmake --build --preset mingw
stage "unit tests under Wine"
# "wine client error" is Wine's own process failing to reach its server, not
# the program under test: only then are the failed tests run once more, and
# the second run must pass.
ctest_log="$WINEPREFIX/ctest.log"
if ! ctest --preset mingw -j2 2>&1 | tee "$ctest_log"; then
  grep 'wine client error' "$ctest_log" >/dev/null ||
    { echo "unit tests under Wine failed"; exit 1; }
  echo "Wine lost its server connection; running the failed tests once more"
  ctest --preset mingw --rerun-failed
fi

bin=build/mingw/bin
stage "export table"
scripts/check-exports-windows.sh "$bin/qvzfix.dll"
x86_64-w64-mingw32-objdump -p "$bin/qvzcheck.exe" | grep "DLL Name: qvzfix.dll" >/dev/null ||
  { echo "qvzcheck.exe does not import qvzfix.dll"; exit 1; }
stage "MSVC-deprecated CRT calls (sources and Windows objects)"
scripts/check-msvc-crt.sh build/mingw
stage "Windows zip and the DLL's version resource"
bash tests/package/windows_package_test.sh

# 4. End to end: qvzcheck.exe against qvzsim.exe, both under Wine.
stage "qvzcheck.exe against qvzsim.exe"
work=$(mktemp -d "$WINEPREFIX/e2e.XXXXXX")
data="$WINEPREFIX/drive_c/VNA/Qaldorn"
expect_output() {
  # Console output under Wine ends its lines in CR LF.
  tr -d '\r' <"$2" >"$2.lf"
  diff -u "$1" "$2.lf" || { echo "qvzcheck.exe output differs"; exit 1; }
}

# Nothing listening yet: only the error line (resource not found) and the prompt.
echo | wine "$bin/qvzcheck.exe" >"$work/out1"
printf 'Error number: 0xBFFF0011\nPress a Key to Exit\n' >"$work/want1"
expect_output "$work/want1" "$work/out1"

mkdir -p "$data"
rm -f "$data/Antenna1_Port1.s2p"
wine "$bin/qvzsim.exe" --port 5025 --quiet >"$work/sim.log" 2>&1 &
sim=$!
for _ in $(seq 300); do
  (exec 3<>/dev/tcp/127.0.0.1/5025) 2>/dev/null && break
  kill -0 "$sim" 2>/dev/null || { cat "$work/sim.log"; echo "qvzsim.exe ended"; exit 1; }
  sleep 0.1
done
echo | wine "$bin/qvzcheck.exe" >"$work/out2"
cat >"$work/want2" <<'OUT'
Selected Port: 1
Circuit: Series C - Shunt L
Smoothing: E12
Original data: R=5.1310E+01 L=1.1270E-09 C=1.3014E-12 G=1.9220E-02
Smoothed data: R=4.7000E+01 L=1.2000E-09 C=1.2000E-12 G=1.8000E-02
Action: Deembedding
Touchstone File Path: C:\VNA\Qaldorn\
File Prefix: Antenna1_
Apply Immediate: Yes
Press a Key to Exit
OUT
expect_output "$work/want2" "$work/out2"
sed 's/^/qvzcheck.exe: /' "$work/out2.lf"
test -s "$data/Antenna1_Port1.s2p" || { echo "no Touchstone file in $data"; exit 1; }

exec 3<>/dev/tcp/127.0.0.1/5025
printf ':SYSTem:FSIMulator:REPort?\n' >&3
read -r -t 10 report <&3
exec 3>&-
report=${report%$'\r'}
echo "emulator: $report"
case "$report" in
  *"CH1 SIM=ON"*'P1.DEEM=ON P1.DEEM.FILE="C:\VNA\Qaldorn\Antenna1_Port1.s2p"'*) ;;
  *) echo "the emulator does not hold port 1's de-embedding file"; exit 1 ;;
esac

stage "Windows stage passed"
echo "Windows stage finished in $(( $(date +%s) - start )) s"
