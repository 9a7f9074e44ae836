#!/usr/bin/env bash
# Plants each fault of tests/faults/planted_faults.txt in turn, builds the
# developer configuration and runs the suite: a fault the suite does not
# catch is a hole in the tests. Restores every file it touched, also when it
# is interrupted. Prints one line a fault and exits 1 if any went uncaught.
#   scripts/plant-faults.sh [build-dir]      (default build/faults)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/faults}
list=tests/faults/planted_faults.txt

backup=$(mktemp -d)
current=""
restore() { if [[ -n "$current" ]]; then cp "$backup/file" "$current"; current=""; fi; }
trap 'restore; rm -rf "$backup"' EXIT

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DQVZ_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j2 >/dev/null
ctest --test-dir "$build" -j2 >/dev/null || { echo "the suite fails without any fault planted"; exit 2; }

missed=0
while IFS='|' read -r name file expression; do
    [[ "$name" =~ ^[[:space:]]*(#|$) ]] && continue
    name=$(echo "$name" | xargs); file=$(echo "$file" | xargs); expression=$(echo "$expression" | sed 's/^ *//; s/ *$//')
    cp "$file" "$backup/file"; current=$file
    perl -0777 -pi -e "$expression" "$file"
    if cmp -s "$file" "$backup/file"; then
        echo "NOT PLANTED  $name: the substitution no longer matches $file"; restore; exit 2
    fi
    if ! cmake --build "$build" -j2 >"$backup/build.log" 2>&1; then
        echo "caught       $name: by the compiler"; restore; continue
    fi
    if ctest --test-dir "$build" -j2 >"$backup/test.log" 2>&1; then
        echo "MISSED       $name"; missed=$((missed + 1))
    else
        failed=$(grep -cE '^\s*[0-9]+ - ' "$backup/test.log" || true)
        first=$(grep -E '^\s*[0-9]+ - ' "$backup/test.log" | head -1 | sed -E 's/^\s*[0-9]+ - //; s/ \(.*//')
        echo "caught       $name: $failed failing tests, e.g. $first"
    fi
    restore
done < "$list"
cmake --build "$build" -j2 >/dev/null
exit $((missed > 0))
