#!/usr/bin/env bash
# The main job: builds the library, the emulator and the programs, starts the
# controller emulator vexa-sim on 127.0.0.1, runs the quick-start example and
# the demonstration program against it, shows what the emulator decoded, and
# ends with what to try next.
#
# The build directory is build/ of the repository; VEXA_BUILD_DIR names
# another.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VEXA_BUILD_DIR:-$root/build}
case "$build" in /*) ;; *) build="$PWD/$build" ;; esac
# Paths as the user would type them from where run.sh was started.
show() { case "$1" in "$PWD"/*) echo "${1#"$PWD"/}" ;; *) echo "$1" ;; esac; }
b=$(show "$build")

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

echo "== 1/5 checking the Debian packages the build needs (scripts/setup.sh)"
"$root/scripts/setup.sh"

echo "== 2/5 configuring $b"
if ! cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$work/configure.log" 2>&1; then
  cat "$work/configure.log"
  echo "run.sh: configuring $b failed (above)" >&2
  exit 1
fi

# What this job runs and names at its end; scripts/test.sh builds the rest.
targets=(vexa-x86 vexa-sim quickstart tour demo c_quickstart)
echo "== 3/5 building ${targets[*]}"
echo "   (the first time takes a few minutes; later runs rebuild only what changed)"
if [ -t 1 ]; then
  # On a terminal ninja keeps its progress on one line: [done/total] file.
  cmake --build "$build" -j 2 --target "${targets[@]}"
else
  # Elsewhere (a log, a pipe) one progress line every tenth of the steps;
  # compiler messages pass through whole.
  cmake --build "$build" -j 2 --target "${targets[@]}" 2>&1 | awk '
    /^\[[0-9]+\/[0-9]+\]/ {
      split(substr($1, 2), n, /[\/\]]/)
      step = int(n[1] * 10 / n[2])
      if (step > last || n[1] == n[2]) { printf "  [%s/%s] %d%%\n", n[1], n[2], n[1] * 100 / n[2]; last = step }
      next
    }
    { print }
  '
fi

echo "== 4/5 starting vexa-sim on 127.0.0.1 (UDP 8800, TCP 8900)"
"$build/sim/vexa-sim" --address 127.0.0.1 >>"$work/sim.log" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 50); do
  grep -q listening "$work/sim.err" 2>/dev/null && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.1
done
if ! kill -0 "$sim_pid" 2>/dev/null; then
  cat "$work/sim.err" >&2
  echo "run.sh: vexa-sim did not start (is another program using 127.0.0.1:8800 or :8900?)" >&2
  exit 1
fi

echo "== 5/5 running the examples against it"
echo
echo "== examples/quickstart 127.0.0.1"
"$build/examples/quickstart" 127.0.0.1
sleep 0.2
echo
echo "== what the emulator decoded"
cat "$work/sim.log"
: >"$work/sim.log"

echo
echo "== demo 127.0.0.1 (it uploads a show page, then prints sleep20s-------- every"
echo "   20 seconds only to show it is still running; stopped here after the first)"
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

cat <<EOF

== what to try next
  See the signs in a browser: start the emulator with its sign page,
    $b/sim/vexa-sim --address 127.0.0.1 --http 8080
  open http://127.0.0.1:8080/ and, in another terminal, send it one command
  of each family:
    $b/examples/tour 127.0.0.1
  The library's trace of every frame and reply, on standard error (with the
  emulator running as above it shows each reply and how soon it came; with
  none running, the time-outs):
    VEXA_TRACE=1 $b/examples/quickstart 127.0.0.1
  README.md: the API tour, the show pages, debugging with a real sign.
EOF
