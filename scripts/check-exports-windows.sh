#!/usr/bin/env bash
# Fails unless qvzfix.dll's export table lists exactly the QVZ_ functions,
# under their plain names (C linkage, no decoration), and nothing else: no
# C++ symbol and nothing from the statically linked runtime.
set -euo pipefail
dll=${1:?usage: check-exports-windows.sh path/to/qvzfix.dll}
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
# The name table follows "[Ordinal/Name Pointer] Table" up to a blank line,
# one "[ n] name" per line.
actual=$("$objdump" -p "$dll" |
  awk '/\[Ordinal\/Name Pointer\] Table/ {names = 1; next}
       names && NF == 0 {names = 0}
       names {print $NF}' | sort)
want=$("$(dirname "$0")/exported-names.sh")
if [[ "$actual" != "$want" ]]; then
  echo "export check FAILED for $dll"
  diff <(echo "$want") <(echo "$actual") || true
  exit 1
fi
echo "export check: $(echo "$actual" | wc -l) exports, all QVZ_, undecorated ($dll)"
