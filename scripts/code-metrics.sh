#!/usr/bin/env bash
# Size and shape of the tree: non-blank lines of product and test code, the
# longest functions, and the repeated runs between the socket layers and the
# test servers. Run from the top of a checkout.
set -euo pipefail
cd "$(dirname "$0")/.."

nonblank() { find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.hpp' -o -name '*.in' -o -name '*.rc.in' \) -print0 | xargs -0 cat | grep -cv '^[[:space:]]*$'; }

echo "non-blank lines"
printf '  product (plugin, emulator, demo): %s\n' "$(nonblank plugin emulator demo)"
printf '  tests (tests, their support):     %s\n' "$(nonblank tests)"
printf '    of which tests/support:         %s\n' "$(nonblank tests/support)"
printf '  bench:                            %s\n' "$(nonblank bench)"

echo "ten longest functions (plugin, emulator, demo)"
ctags -x --_xformat='%{end} %{line} %{input} %{scope}::%{name}' --kinds-C++=f --fields=+ne -R --languages=C++ plugin emulator demo 2>/dev/null |
  awk '$1 != "" && $1 ~ /^[0-9]+$/ { printf "%5d  %s:%s  %s\n", $1 - $2 + 1, $3, $2, $4 }' | sort -rn | head -10

echo "repeated runs between emulator/src/net, tests/support and bench"
if command -v duplicates >/dev/null; then
  tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
  for d in emulator/src/net tests/support bench; do mkdir -p "$tmp/$d"; cp -r "$d/." "$tmp/$d/"; done
  duplicates --repo "$tmp" --most 60 | sed "s|$tmp/||g"
else
  echo "  (the duplicates command is not on this machine)"
fi
