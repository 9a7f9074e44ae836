#!/usr/bin/env bash
# Builds and runs every test: the developer build, the same suite under
# AddressSanitizer + UndefinedBehaviorSanitizer, the concurrency tests under
# ThreadSanitizer, and the check of the library's exported symbols.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake --workflow --preset dev
scripts/check-exports.sh build/dev/plugin/libqvzfix.so
cmake --workflow --preset asan
cmake --workflow --preset tsan
echo "all test stages passed"
