#!/usr/bin/env bash
# cpp-httplib for the Windows build. Debian's libcpp-httplib-dev is the
# compiled, Linux-only form (declarations in httplib.h, code in
# libcpp-httplib.so); the cross build needs the same version's header-only
# httplib.h, which Debian's source package of it carries. This fetches that
# source package with apt (adding Debian's source index when missing), with
# Debian's patches applied, into build/third_party/cpp-httplib. Needs root
# the first time, as on CI.
set -euo pipefail
cd "$(dirname "$0")/.."
target=build/third_party/cpp-httplib
if [[ -f $target/httplib.h ]]; then
  exit 0
fi
if ! apt-get source --print-uris cpp-httplib >/dev/null 2>&1; then
  # The source index of the archives this machine already uses: each binary
  # entry again as a source entry.
  if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      >/etc/apt/sources.list.d/qvz-debian-src.sources
  else
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >/etc/apt/sources.list.d/qvz-debian-src.list
  fi
  apt-get update -qq
fi
command -v dpkg-source >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends dpkg-dev
work=$(mktemp -d /tmp/qvz-httplib.XXXXXX)
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get source -qq cpp-httplib >/dev/null 2>&1)
header=$(find "$work" -maxdepth 2 -name httplib.h | head -n 1)
if [[ -z $header ]]; then
  echo "fetch-httplib-source: no httplib.h in Debian's cpp-httplib source package" >&2
  exit 1
fi
mkdir -p "$target"
cp "$header" "$target/httplib.h"
cp "$(dirname "$header")/LICENSE" "$target/LICENSE" 2>/dev/null || true
echo "cpp-httplib source header in $target"
