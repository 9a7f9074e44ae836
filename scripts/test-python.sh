#!/usr/bin/env bash
# Builds the plug-in and qvzsim (developer build), type-checks the Python
# package, installs it into a fresh virtual environment on Debian's python3
# (offline: no package index is needed) and runs its pytest suite against the
# build's library. pytest's summary is the last thing this prints.
#
#   scripts/test-python.sh [pytest arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# Debian's interpreter and the packages the suite uses; --system-site-packages
# lets the venv see them, and --no-build-isolation builds with Debian's
# setuptools instead of fetching one.
packages=(python3 python3-venv python3-setuptools python3-wheel python3-pytest python3-matplotlib
          python3-mypy)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep "install ok installed" >/dev/null || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
scripts/install-deps.sh

build=build/dev
[[ -f $build/CMakeCache.txt ]] || cmake --preset dev
cmake --build "$build" -j2 --target qvzfix qvzsim

# The package is typed (py.typed): keep it so, strictly (settings in pyproject.toml).
(cd python && /usr/bin/python3 -m mypy src/qvzfix)

venv=$(mktemp -d /tmp/qvzfix-venv.XXXXXX)
trap 'rm -rf "$venv"' EXIT
/usr/bin/python3 -m venv --system-site-packages "$venv"
"$venv/bin/python" -m pip install --quiet --no-index --no-build-isolation ./python

# Always the build's library, never one installed on the machine.
export QVZFIX_LIBRARY=$root/$build/plugin/libqvzfix.so
export QVZSIM=$root/$build/emulator/qvzsim
export MPLBACKEND=Agg
# From the tests' folder python/src is not on sys.path: the installed package is tested.
cd "$root/python/tests"
"$venv/bin/python" -m pytest -p no:cacheprovider "$@" .
