#!/usr/bin/env bash
# The Windows package from the MinGW build (workflow preset mingw-package):
# the zip holds the DLL, its import library, the headers, the CMake files and
# the two programs, and the DLL's version resource (what Explorer's
# Properties > Details shows) carries the project's version, read back with
# wrestool (icoutils).
set -euo pipefail
cd "$(dirname "$0")/../.."
fail() { echo "Windows package test FAILED: $*"; exit 1; }
version=1.0.0
work=$(mktemp -d /tmp/qvz-winpkg.XXXXXX)
trap 'rm -rf "$work"' EXIT

echo "== cmake --workflow --preset mingw-package"
cmake --workflow --preset mingw-package >"$work/build.log" 2>&1 || { tail -n 40 "$work/build.log"; fail "build"; }
zip=build/mingw-package/qvzfix-$version-win64.zip
test -f "$zip" || fail "no $zip"

echo "== $zip"
unzip -Z1 "$zip" >"$work/contents"
for f in bin/qvzfix.dll bin/qvzcheck.exe bin/qvzsim.exe lib/libqvzfix.dll.a include/qvzfix.h \
         include/qvzfix_status.h include/qvzfix_version.h lib/cmake/qvzfix/qvzfixConfig.cmake \
         lib/cmake/qvzfix/qvzfixConfigVersion.cmake lib/cmake/qvzfix/qvzfixTargets.cmake; do
  grep -Fx "qvzfix-$version-win64/$f" "$work/contents" >/dev/null || fail "the zip lacks $f"
done
unzip -q "$zip" -d "$work"
dll="$work/qvzfix-$version-win64/bin/qvzfix.dll"
scripts/check-exports-windows.sh "$dll"

echo "== version resource of qvzfix.dll"
wrestool -x --raw --type=version "$dll" >"$work/version.res" || fail "the DLL has no version resource"
strings -el "$work/version.res" >"$work/version.txt"
# The string table: name and value on consecutive lines.
for pair in "FileVersion=$version" "ProductVersion=$version" "ProductName=qvzfix" "OriginalFilename=qvzfix.dll"; do
  grep -A1 -Fx "${pair%%=*}" "$work/version.txt" | tail -n 1 | grep -Fx "${pair#*=}" >/dev/null ||
    fail "${pair%%=*} is not ${pair#*=}"
done
grep -A1 -Fx FileDescription "$work/version.txt" | tail -n 1 | grep . >/dev/null || fail "no FileDescription"
# VS_FIXEDFILEINFO: the signature 0xFEEF04BD, then the file and product
# versions as major.minor and patch.build words.
fixed=$(od -A n -t x4 -v "$work/version.res" | tr -s ' \n' ' ' | grep -o 'feef04bd [0-9a-f]* [0-9a-f]* [0-9a-f]* [0-9a-f]* [0-9a-f]*')
read -r _ _ file_ms file_ls product_ms product_ls <<<"$fixed"
IFS=. read -r major minor patch <<<"$version"
want_ms=$(printf '%04x%04x' "$major" "$minor")
want_ls=$(printf '%04x%04x' "$patch" 0)
[[ "$file_ms$file_ls" == "$want_ms$want_ls" && "$product_ms$product_ls" == "$want_ms$want_ls" ]] ||
  fail "fixed version words $fixed, want $want_ms $want_ls"
paste -sd " " "$work/version.txt"
echo "Windows package test passed"
