#!/usr/bin/env bash
# Installs the build and test prerequisites from Debian's packages when any
# is missing (needs root, as on CI machines).
set -euo pipefail

# pkg-config, dpkg-dev (dpkg-shlibdeps) and file: the package tests and CPack's DEB generator;
# libcpp-httplib-dev: the emulator's screen.
# clang-format and clang-tidy: the layout and naming check.
packages=(cmake make g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev binutils
          pkg-config dpkg-dev file libcpp-httplib-dev clang-format clang-tidy)
"$(dirname "$0")/apt-ensure.sh" "${packages[@]}"
