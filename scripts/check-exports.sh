#!/usr/bin/env bash
# Fails unless the shared library defines exactly the QVZ_ functions as its
# dynamic symbols: nothing internal (the VISA layer above all) may leak.
set -euo pipefail
lib=${1:?usage: check-exports.sh path/to/libqvzfix.so}
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TtWwDdBbRrVv]$/ {print $3}' | sed 's/@.*//' | sort)
want=$("$(dirname "$0")/exported-names.sh")
if [[ "$actual" != "$want" ]]; then
  echo "export check FAILED for $lib"
  diff <(echo "$want") <(echo "$actual") || true
  exit 1
fi
echo "export check: $(echo "$actual" | wc -l) symbols, all QVZ_ ($lib)"
