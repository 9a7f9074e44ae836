#!/usr/bin/env bash
# Builds and runs every test: the developer build, the benchmarks (built and
# run once), the check of the library's exported symbols and of
# MSVC-deprecated CRT calls, the install, package and consumer tests, the
# same suite under AddressSanitizer + UndefinedBehaviorSanitizer, the
# concurrency tests under ThreadSanitizer, the Windows x64 build (MinGW-w64)
# with its tests and an end-to-end run under Wine, the emulator's screen in a
# browser and under pyvisa, and the Python package's pytest suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake --workflow --preset dev
# One layout (.clang-format) and one naming scheme (.clang-tidy) for all C++.
scripts/check-style.sh build/dev
# The benchmarks build warning-free in the release build and each runs once.
scripts/bench-smoke.sh
scripts/check-exports.sh build/dev/plugin/libqvzfix.so
scripts/check-msvc-crt.sh
# The integrator's kit: install, CMake package, pkg-config, subproject, and
# the Debian package installed, demoed and removed again.
bash tests/package/install_test.sh
bash tests/package/deb_test.sh
cmake --workflow --preset asan
cmake --workflow --preset tsan
scripts/test-windows.sh
# The emulator as a virtual analyzer: its arithmetic, its screen in headless
# Chromium, and pyvisa-py as a client.
bash scripts/test-browser.sh
# The Python package against the emulator, last: pytest's summary closes the run.
bash scripts/test-python.sh
