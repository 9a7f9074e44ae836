#!/usr/bin/env bash
# Fails unless qvzfix.dll's export table lists exactly the QVZ_ functions,
# under their plain names (C linkage, no decoration), and nothing else: no
# C++ symbol and nothing from the statically linked runtime.
set -euo pipefail
dll=${1:?usage: check-exports-windows.sh path/to/qvzfix.dll}
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
expected="QVZ_ApplyChanges QVZ_GetAction QVZ_GetActivePort QVZ_GetApplyImmediate
QVZ_GetC1G1C2G2Values QVZ_GetCircuit QVZ_GetL1R1L2R2Values QVZ_GetRLCGValues
QVZ_GetS2PFilePath QVZ_GetS2PFilePrefix QVZ_GetSmoothing QVZ_ResetValues QVZ_SetAction
QVZ_SetActivePort QVZ_SetApplyImmediate QVZ_SetC1G1C2G2Values QVZ_SetCircuit
QVZ_SetL1R1L2R2Values QVZ_SetRLCGValues QVZ_SetS2PFilePath QVZ_SetS2PFilePrefix
QVZ_SetSmoothing QVZ_close QVZ_init"
# The name table follows "[Ordinal/Name Pointer] Table" up to a blank line,
# one "[ n] name" per line.
actual=$("$objdump" -p "$dll" |
  awk '/\[Ordinal\/Name Pointer\] Table/ {names = 1; next}
       names && NF == 0 {names = 0}
       names {print $NF}' | sort)
want=$(echo $expected | tr ' ' '\n' | sort)
if [[ "$actual" != "$want" ]]; then
  echo "export check FAILED for $dll"
  diff <(echo "$want") <(echo "$actual") || true
  exit 1
fi
echo "export check: $(echo "$actual" | wc -l) exports, all QVZ_, undecorated ($dll)"
