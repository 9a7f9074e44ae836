#!/usr/bin/env bash
# The Debian package on this machine (root): installs
# build/package/qvzfix_<version>_<arch>.deb with apt-get, which resolves its
# dependencies, checks what it put in place, runs the demo with the installed
# qvzcheck and qvzsim, and removes the package again, so that no libqvzfix
# stays on the loader's path for later test stages. Run after
# tests/package/install_test.sh, which makes the package.
set -euo pipefail
cd "$(dirname "$0")/../.."
fail() { echo "deb test FAILED: $*"; exit 1; }

debs=(build/package/qvzfix_*.deb)
((${#debs[@]} == 1)) && [[ -f "${debs[0]}" ]] || fail "want exactly one build/package/qvzfix_*.deb, found: ${debs[*]}"
deb=${debs[0]}
dpkg-query -W -f='${Status}' qvzfix 2>/dev/null | grep "install ok installed" >/dev/null &&
  fail "qvzfix is already installed; this test would remove it"

export DEBIAN_FRONTEND=noninteractive
remove() { apt-get remove --purge -y -qq qvzfix >/dev/null 2>&1 || true; }
trap remove EXIT
echo "== apt-get install ./$deb"
apt-get install -y -qq --no-install-recommends "./$deb" >/tmp/qvz-deb-install.log 2>&1 ||
  { cat /tmp/qvz-deb-install.log; fail "apt-get install"; }
rm -f /tmp/qvz-deb-install.log

echo "== installed files"
[[ "$(dpkg-query -W -f='${Version}' qvzfix)" == 1.0.0 ]] || fail "package version"
ldconfig -p | grep -F 'libqvzfix.so.1 ' >/dev/null || fail "libqvzfix.so.1 is not in the loader's cache"
for f in /usr/include/qvzfix.h /usr/include/qvzfix_status.h /usr/include/qvzfix_version.h \
         /usr/lib/cmake/qvzfix/qvzfixConfig.cmake /usr/lib/pkgconfig/qvzfix.pc; do
  test -f "$f" || fail "missing $f"
done
[[ "$(pkg-config --modversion qvzfix)" == 1.0.0 ]] || fail "pkg-config finds no qvzfix 1.0.0"
[[ "$(qvzsim --version)" == "qvzsim 1.0.0" ]] || fail "qvzsim --version"
loaded=$(ldd /usr/bin/qvzcheck | sed -n 's/^[[:space:]]*libqvzfix\.so\.1 => \([^ ]*\) .*/\1/p')
[[ -n "$loaded" && "$(readlink -f "$loaded")" == /usr/lib/libqvzfix.so.1.0.0 ]] ||
  fail "qvzcheck does not load the installed library (it loads '$loaded')"

echo "== the demo with the installed programs"
bash scripts/demo.sh --installed

remove
trap - EXIT
dpkg-query -W -f='${Status}' qvzfix 2>/dev/null | grep "install ok installed" >/dev/null &&
  fail "qvzfix is still installed"
test ! -e /usr/lib/libqvzfix.so.1 || fail "/usr/lib/libqvzfix.so.1 is still there"
echo "deb test passed (package removed again)"
