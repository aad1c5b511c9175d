#!/usr/bin/env bash
# Builds the wheel of the Python package that carries the library of a build
# directory: vexa-<version>-py3-none-linux_x86_64.whl holding
# vexa/libvexa-x86.so.1, which the package loads before any copy of the
# system's (VEXA_LIBRARY still comes first). The version is the library's,
# read from the build's version.h (CMake's project version). Offline: Debian's
# setuptools and wheel build it, nothing is downloaded.
#
# Usage: scripts/wheel.sh BUILD_DIR [OUT_DIR]   (OUT_DIR default BUILD_DIR/python)
# Prints the wheel's path.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] || { echo "usage: scripts/wheel.sh BUILD_DIR [OUT_DIR]" >&2; exit 2; }
build=$(cd "$1" && pwd)
out=${2:-$build/python}
python=${VEXA_PYTHON:-/usr/bin/python3}

header="$build/include/vexa-x86/version.h"
library="$build/libvexa-x86.so.1"
[ -f "$header" ] || { echo "wheel.sh: no $header: configure the build first" >&2; exit 1; }
[ -e "$library" ] || { echo "wheel.sh: no $library: build the library first" >&2; exit 1; }
version=$(sed -n 's/^#define VEXA_VERSION_STRING "\(.*\)"$/\1/p' "$header")
[ -n "$version" ] || { echo "wheel.sh: no VEXA_VERSION_STRING in $header" >&2; exit 1; }

# The package is built from a copy, so that the build leaves nothing in the
# source tree; the copy gets the library and its version.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$root/python/pyproject.toml" "$root/python/setup.py" "$root/python/README.md" "$stage/"
cp -r "$root/python/vexa" "$stage/vexa"
find "$stage" -name __pycache__ -prune -exec rm -rf {} +
printf '"""The version of the package and of the library it carries."""\n\n__version__ = "%s"\n' \
  "$version" >"$stage/vexa/_version.py"
cp -L "$library" "$stage/vexa/libvexa-x86.so.1"
# Debugging information stays with the build; the wheel needs the code.
if command -v strip >/dev/null; then
  strip --strip-debug "$stage/vexa/libvexa-x86.so.1"
fi

mkdir -p "$out"
wheel="$out/vexa-$version-py3-none-linux_x86_64.whl"
rm -f "$wheel"
"$python" -m pip wheel --quiet --no-build-isolation --no-deps --no-index -w "$out" "$stage" >&2
[ -f "$wheel" ] || { echo "wheel.sh: $wheel was not made; $out holds: $(ls "$out")" >&2; exit 1; }
echo "$wheel"
