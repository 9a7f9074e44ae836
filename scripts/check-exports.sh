#!/usr/bin/env bash
# Fails unless the shared library defines exactly the QVZ_ functions as its
# dynamic symbols: nothing internal (the VISA layer above all) may leak.
set -euo pipefail
lib=${1:?usage: check-exports.sh path/to/libqvzfix.so}
expected="QVZ_ApplyChanges QVZ_GetAction QVZ_GetActivePort QVZ_GetApplyImmediate
QVZ_GetC1G1C2G2Values QVZ_GetCircuit QVZ_GetL1R1L2R2Values QVZ_GetRLCGValues
QVZ_GetS2PFilePath QVZ_GetS2PFilePrefix QVZ_GetSmoothing QVZ_ResetValues QVZ_SetAction
QVZ_SetActivePort QVZ_SetApplyImmediate QVZ_SetC1G1C2G2Values QVZ_SetCircuit
QVZ_SetL1R1L2R2Values QVZ_SetRLCGValues QVZ_SetS2PFilePath QVZ_SetS2PFilePrefix
QVZ_SetSmoothing QVZ_close QVZ_init"
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TtWwDdBbRrVv]$/ {print $3}' | sed 's/@.*//' | sort)
want=$(echo $expected | tr ' ' '\n' | sort)
if [[ "$actual" != "$want" ]]; then
  echo "export check FAILED for $lib"
  diff <(echo "$want") <(echo "$actual") || true
  exit 1
fi
echo "export check: $(echo "$actual" | wc -l) symbols, all QVZ_ ($lib)"
