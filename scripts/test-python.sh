#!/usr/bin/env bash
# Installs the Python package into a fresh virtual environment over Debian's
# Python (no package index needed) and runs its pytest suite against the
# controller emulator, with the library and the emulator of a build
# directory. Usage: scripts/test-python.sh [BUILD_DIR] (default build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
# Debian's interpreter: python3-venv, -setuptools, -wheel and -pytest belong
# to it, whatever other python3 comes first on the PATH.
python=${VEXA_PYTHON:-/usr/bin/python3}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$python" -m venv --system-site-packages "$work/env"
# The package is built from a copy, so that the build leaves nothing in the
# source tree.
cp -r "$root/python" "$work/src"
"$work/env/bin/pip" install --quiet --no-build-isolation --no-index "$work/src"

export VEXA_LIBRARY="$build/libvexa-x86.so.1"
export VEXA_SIM="$build/sim/vexa-sim"
cd "$root/python"
"$work/env/bin/python" -m pytest -q -p no:cacheprovider tests "${@:2}"
