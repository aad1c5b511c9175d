#!/usr/bin/env bash
# The main job: builds the library, the emulator and the programs, starts the
# controller emulator vexa-sim on 127.0.0.1, runs the quick-start example and
# the demonstration program against it, and shows what the emulator decoded.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j 2 >/dev/null

work=$(mktemp -d)
sim_pid=""
demo_pid=""
cleanup() {
  [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null || true
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$build/sim/vexa-sim" --address 127.0.0.1 >>"$work/sim.log" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 50); do
  grep -q listening "$work/sim.err" 2>/dev/null && break
  sleep 0.1
done

echo "== examples/quickstart 127.0.0.1"
"$build/examples/quickstart" 127.0.0.1
sleep 0.2
echo
echo "== what the emulator decoded"
cat "$work/sim.log"
: >"$work/sim.log"

echo
echo "== demo 127.0.0.1 (stopped after its first idle line)"
"$build/demo/demo" 127.0.0.1 >"$work/demo.log" 2>&1 &
demo_pid=$!
for _ in $(seq 150); do
  grep -q 'sleep20s' "$work/demo.log" 2>/dev/null && break
  kill -0 "$demo_pid" 2>/dev/null || break
  sleep 0.1
done
cat "$work/demo.log"
kill "$demo_pid" 2>/dev/null || true
wait "$demo_pid" 2>/dev/null || true
demo_pid=""
sleep 0.2
echo
echo "== what the emulator decoded"
cat "$work/sim.log"
