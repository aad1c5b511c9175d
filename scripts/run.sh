#!/usr/bin/env bash
# The main job: builds the library, the emulator and the programs, starts the
# controller emulator vexa-sim on 127.0.0.1, runs the quick-start example
# against it, and shows what the emulator decoded.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j 2 >/dev/null

log=$(mktemp)
"$build/sim/vexa-sim" --address 127.0.0.1 >"$log" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null || true; wait $sim 2>/dev/null || true; rm -f "$log"' EXIT
sleep 0.5

echo "== examples/quickstart 127.0.0.1"
"$build/examples/quickstart" 127.0.0.1

sleep 0.3
echo
echo "== what the controller emulator decoded"
cat "$log"
