#!/usr/bin/env bash
# Installs the build and test prerequisites from Debian's packages when any
# is missing (needs root, as on CI machines).
set -euo pipefail

# pkg-config, dpkg-dev (dpkg-shlibdeps) and file: the package tests and CPack's DEB generator.
packages=(cmake make g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev binutils
          pkg-config dpkg-dev file)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep "install ok installed" >/dev/null || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
