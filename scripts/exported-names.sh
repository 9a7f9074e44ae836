#!/usr/bin/env bash
# Prints, sorted, the names of the functions the public header exports: what
# the library's export table must list, no more and no less.
set -euo pipefail
header="$(dirname "$0")/../plugin/include/qvzfix.h"
grep -oE '^QVZ_API [A-Za-z0-9_]+ (QVZ_[A-Za-z0-9_]+)\(' "$header" |
  sed -E 's/^QVZ_API [A-Za-z0-9_]+ (QVZ_[A-Za-z0-9_]+)\(/\1/' | sort
