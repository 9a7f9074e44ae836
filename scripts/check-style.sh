#!/usr/bin/env bash
# Fails on C++ that is not laid out as .clang-format says, and on a function
# or method name outside the one naming scheme of .clang-tidy. The naming
# check reads the compile commands of a configured build (default build/dev).
#   scripts/check-style.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev}

mapfile -t sources < <(git ls-files '*.cpp' '*.h' ':!:third_party/*')
clang-format --dry-run -Werror "${sources[@]}"
echo "layout: ${#sources[@]} files as .clang-format says"

# Every translation unit the build compiles, once (the same test helper is
# compiled into several programs), and none of the build's own.
mapfile -t units < <(/usr/bin/python3 -c '
import json, os, sys
seen = set()
for entry in json.load(open(sys.argv[1])):
    path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    if "/build/" in path or path in seen:
        continue
    seen.add(path)
    print(path)
' "$build/compile_commands.json")
run-clang-tidy -quiet -p "$build" -j 2 "${units[@]}" > "$build/naming.log" 2>&1 || true
if grep -q 'warning:\|error:' "$build/naming.log"; then
    grep -E 'warning:|error:' "$build/naming.log" | sort -u | head -40
    echo "naming: functions and methods outside the scheme of .clang-tidy"
    exit 1
fi
echo "naming: ${#units[@]} translation units follow .clang-tidy"
