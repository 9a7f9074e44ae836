#!/usr/bin/env bash
# Builds and runs every test: the developer build, the check of the
# library's exported symbols and of MSVC-deprecated CRT calls, the install,
# package and consumer tests, the same suite under AddressSanitizer +
# UndefinedBehaviorSanitizer, the concurrency tests under ThreadSanitizer, the
# Windows x64 build (MinGW-w64) with its tests and an end-to-end run under
# Wine, and the Python package's pytest suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake --workflow --preset dev
scripts/check-exports.sh build/dev/plugin/libqvzfix.so
scripts/check-msvc-crt.sh
# The integrator's kit: install, CMake package, pkg-config, subproject, and
# the Debian package installed, demoed and removed again.
bash tests/package/install_test.sh
bash tests/package/deb_test.sh
cmake --workflow --preset asan
cmake --workflow --preset tsan
scripts/test-windows.sh
# The Python package against the emulator, last: pytest's summary closes the run.
bash scripts/test-python.sh
