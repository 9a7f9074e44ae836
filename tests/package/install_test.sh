#!/usr/bin/env bash
# The integrator's path from a source tree to a host program: build and
# package with the README's command (workflow preset "package"), install into
# a fresh prefix, check the SONAME and the version, then build one small C
# host (consumer/apply_once.c) three ways and have each apply once against
# the installed qvzsim:
#   1. CMake package: find_package(qvzfix 1.0 REQUIRED) + qvzfix::qvzfix
#   2. pkg-config: pkg-config --cflags --libs qvzfix
#   3. subproject: add_subdirectory(<qvzfix source>) + qvzfix::qvzfix
# Leaves build/package (with the .deb) behind for tests/package/deb_test.sh.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
work=$(mktemp -d /tmp/qvz-install.XXXXXX)
sim=
cleanup() {
  if [[ -n "$sim" ]]; then kill -INT "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "install test FAILED: $*"; exit 1; }
step() { echo "== $*"; }
# Runs a command with its output in a log, shown only when it fails.
quiet() {
  local log="$work/step.log"
  "$@" >"$log" 2>&1 || { cat "$log"; fail "$*"; }
}

cd "$src"
step "cmake --workflow --preset package"
quiet cmake --workflow --preset package
prefix="$work/prefix"
step "cmake --install build/package --prefix $prefix"
quiet cmake --install build/package --prefix "$prefix"

step "SONAME and version"
readelf -d "$prefix/lib/libqvzfix.so.1.0.0" | grep -F 'Library soname: [libqvzfix.so.1]' >/dev/null ||
  fail "libqvzfix.so.1.0.0 lacks the SONAME libqvzfix.so.1"
[[ "$(readlink "$prefix/lib/libqvzfix.so.1")" == libqvzfix.so.1.0.0 ]] || fail "libqvzfix.so.1 link"
version=$(sed -n 's/^#define QVZFIX_VERSION_STRING "\(.*\)"$/\1/p' "$prefix/include/qvzfix_version.h")
[[ "$version" == 1.0.0 ]] || fail "qvzfix_version.h says '$version'"
[[ "$("$prefix/bin/qvzsim" --version)" == "qvzsim $version" ]] || fail "qvzsim --version"

# SameMajorVersion: any 1.x request is met, 0.x and 2.x are not.
for request in 1.0:TRUE 1:TRUE 0.9:FALSE 2.0:FALSE; do
  cat >"$work/version.cmake" <<CHECK
set(PACKAGE_FIND_VERSION ${request%%:*})
string(REPLACE "." ";" parts "\${PACKAGE_FIND_VERSION}.0.0")
list(GET parts 0 PACKAGE_FIND_VERSION_MAJOR)
list(GET parts 1 PACKAGE_FIND_VERSION_MINOR)
list(GET parts 2 PACKAGE_FIND_VERSION_PATCH)
set(PACKAGE_FIND_VERSION_COUNT 2)
include("$prefix/lib/cmake/qvzfix/qvzfixConfigVersion.cmake")
message("\${PACKAGE_VERSION_COMPATIBLE}")
CHECK
  [[ "$(cmake -P "$work/version.cmake" 2>&1)" == "${request#*:}" ]] ||
    fail "find_package(qvzfix ${request%%:*}) compatibility is not ${request#*:}"
done

step "qvzsim on a free port"
"$prefix/bin/qvzsim" --port 0 --quiet >"$work/sim.log" 2>&1 &
sim=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's/^qvzsim listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/sim.log")
  [[ -n "$port" ]] && break
  kill -0 "$sim" 2>/dev/null || { cat "$work/sim.log"; fail "qvzsim ended"; }
  sleep 0.1
done
[[ -n "$port" ]] || fail "qvzsim printed no port"
[[ "$("$prefix/bin/qvzsim" --port "$port" --send '*IDN?')" == "Qaldorn,QVZSIM,0,$version" ]] ||
  fail "*IDN? does not carry $version"

# Runs one build of apply_once against the emulator and checks that port 1
# now embeds the file it wrote.
apply_with() {
  local program=$1 dir="$work/out-$2"
  mkdir -p "$dir"
  "$program" "TCPIP0::127.0.0.1::$port::SOCKET" "$dir" >"$work/apply.log" 2>&1 ||
    { cat "$work/apply.log"; fail "$2: apply_once failed"; }
  grep -Fx "qvzfix headers $version (1.0.0)" "$work/apply.log" >/dev/null || fail "$2: version line"
  test -s "$dir/Consumer_Port1.s2p" || fail "$2: no Touchstone file"
  local report
  report=$("$prefix/bin/qvzsim" --port "$port" --send ':SYST:FSIM:REP?')
  [[ "$report" == *"P1.PMC=ON P1.PMC.FILE=\"$dir/Consumer_Port1.s2p\""* ]] ||
    fail "$2: the emulator does not embed the file: $report"
  echo "$2: applied, port 1 embeds $dir/Consumer_Port1.s2p"
}

step "find_package(qvzfix 1.0 REQUIRED)"
quiet cmake -S "$here/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release
quiet cmake --build "$work/consumer"
apply_with "$work/consumer/apply_once" cmake-package

step "pkg-config --cflags --libs qvzfix"
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
[[ "$(pkg-config --modversion qvzfix)" == "$version" ]] || fail "pkg-config --modversion"
# shellcheck disable=SC2046  # the flags are meant to split
quiet cc -std=c99 -Wall -Wextra -Werror -o "$work/apply_once_pc" "$here/consumer/apply_once.c" \
  $(pkg-config --cflags --libs qvzfix)
export LD_LIBRARY_PATH="$prefix/lib"
apply_with "$work/apply_once_pc" pkg-config
unset LD_LIBRARY_PATH

step "add_subdirectory(qvzfix)"
quiet cmake -S "$here/subproject" -B "$work/subproject" -DQVZFIX_SOURCE_DIR="$src" -DCMAKE_BUILD_TYPE=Release
# As a subproject qvzfix asks for no test framework and adds no tests.
[[ ! -e "$work/subproject/qvzfix/tests" ]] || fail "the subproject configured its tests"
quiet cmake --build "$work/subproject" -j2
apply_with "$work/subproject/apply_once" subproject

echo "install test passed"
