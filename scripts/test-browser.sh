#!/usr/bin/env bash
# The emulator as a virtual analyzer: its arithmetic tests (gtest), its
# screen in headless Chromium (Selenium) with the library applying, and its
# instrument behaviour with pyvisa + pyvisa-py as the client (pytest).
# Installs what it needs from Debian's packages when missing (root, as on CI).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

packages=(chromium chromium-driver python3-selenium python3-pytest python3-pyvisa python3-pyvisa-py)
scripts/apt-ensure.sh "${packages[@]}"

cmake --preset dev >/dev/null
cmake --build --preset dev --target qvzsim qvz_apply_driver qvzsim_unit_tests -j2
ctest --test-dir build/dev --output-on-failure -R 'FixtureMath|VirtualAnalyzer|SmallAntenna|ScreenJson'
# Debian's interpreter: the one that sees Debian's Python packages.
QVZ_BUILD_DIR=$PWD/build/dev /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/browser tests/pyvisa
