#!/usr/bin/env bash
# Checks the Python package against the library and the emulator of a build
# directory, without a package index:
#   1. mypy --strict (Debian's mypy) on the package and its examples;
#   2. the package installed into a fresh virtual environment over Debian's
#      Python and its pytest suite run against vexa-sim;
#   3. the wheel that carries the library (scripts/wheel.sh) installed into
#      another fresh environment, with no VEXA_LIBRARY and no
#      LD_LIBRARY_PATH, loading its own copy and calling vexa-sim.
# Usage: scripts/test-python.sh [BUILD_DIR] [PYTEST_ARGS...] (default build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
# Debian's interpreter: python3-venv, -setuptools, -wheel and -pytest belong
# to it, whatever other python3 comes first on the PATH.
python=${VEXA_PYTHON:-/usr/bin/python3}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "-- mypy --strict: the package and its examples"
(cd "$root/python" && mypy --strict --cache-dir "$work/mypy" vexa examples)

echo "-- pytest against $build"
"$python" -m venv --system-site-packages "$work/env"
# The package is built from a copy, so that the build leaves nothing in the
# source tree.
cp -r "$root/python" "$work/src"
"$work/env/bin/pip" install --quiet --no-build-isolation --no-index "$work/src"
(
  export VEXA_LIBRARY="$build/libvexa-x86.so.1"
  export VEXA_SIM="$build/sim/vexa-sim"
  cd "$root/python"
  "$work/env/bin/python" -m pytest -q -p no:cacheprovider tests "${@:2}"
)

echo "-- the wheel that carries the library"
wheel=$("$root/scripts/wheel.sh" "$build" "$work/wheel")
version=$(sed -n 's/^#define VEXA_VERSION_STRING "\(.*\)"$/\1/p' "$build/include/vexa-x86/version.h")
"$python" -m venv "$work/wheel-env"
"$work/wheel-env/bin/pip" install --quiet --no-index --no-deps "$wheel"
# From a directory of its own, so that the source tree's package is not the
# one imported; the library copy VEXA_LIBRARY names is the build's.
(cd "$work" && env -u VEXA_LIBRARY -u LD_LIBRARY_PATH "$work/wheel-env/bin/python" \
  "$root/python/tests/check_wheel.py" "$build/sim/vexa-sim" "$version" \
  "$build/libvexa-x86.so.1")
