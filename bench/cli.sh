#!/usr/bin/env bash
# Times vexa as scripts use it, a whole process per command, with hyperfine
# (Debian: hyperfine), against vexa-sim on loopback addresses 127.0.40.1 to
# 127.0.40.16 (and 127.0.41.1 to 127.0.41.16 answering after 20 ms):
#
#   1. `vexa --address A play 1` against bench/cli_baseline.c, a C program
#      that makes the same library call and nothing else (aim: under 1.5),
#      and the same command to one sign of a hall file of 16 signs loaded
#      (aim: under 2);
#   2. `vexa call A012 1` on a hall of 16 signs, the counter shown on all of
#      them, against the slowest of the 16 signs' own command
#      (`vexa --sign sN lineup 1 A012`), with controllers that answer at
#      once and with controllers that answer after 20 ms (aim: under 1.5).
#
# Usage: bench/cli.sh [BUILD_DIR]   (default build/; VEXA_BENCH_RUNS, default
# 200, the runs of each command)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${VEXA_BENCH_RUNS:-200}
command -v hyperfine >/dev/null || { echo "hyperfine is not installed (apt-get install hyperfine)" >&2; exit 1; }
cmake --build "$build" --target vexa_cli vexa-sim vexa_bench_cli_baseline -j 2 >/dev/null

vexa=$build/cli/vexa
base=$build/bench/cli_baseline
sim=$build/sim/vexa-sim
work=$(mktemp -d)
sims=()
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Two sets of 16 controllers: one answers at once, one after 20 ms.
for set in 40 41; do
  args=()
  for i in $(seq 16); do args+=(--address "127.0.$set.$i"); done
  reply=accept
  [ "$set" = 41 ] && reply=delay:20
  "$sim" "${args[@]}" --reply "$reply" >/dev/null 2>&1 &
  sims+=($!)
done
for set in 40 41; do
  for _ in $(seq 100); do
    "$base" "127.0.$set.16" 1 && break
    sleep 0.1
  done
done

# A hall of 16 signs on one set of addresses; counter 1 shows on every one.
hall() {
  local set=$1 file=$work/hall$1.toml
  printf '[hall]\nname = "Bench"\ntimeout_ms = 500\nretries = 1\n' >"$file"
  for i in $(seq 16); do
    printf '\n[[sign]]\nname = "s%d"\ntransport = "udp"\naddress = "127.0.%d.%d"\nwidth = 64\nheight = 16\n' \
      "$i" "$set" "$i" >>"$file"
  done
  printf '\n[[counter]]\nnumber = 1\nlineup = [' >>"$file"
  for i in $(seq 16); do printf '%s{ sign = "s%d", field = 1 }' "$([ "$i" = 1 ] || echo ', ')" "$i" >>"$file"; done
  printf ']\n' >>"$file"
  echo "$file"
}
hall40=$(hall 40)
hall41=$(hall 41)

# Mean seconds of the command named $2 in the hyperfine export $1.
mean() {
  python3 -c 'import json,sys
for r in json.load(open(sys.argv[1]))["results"]:
    if r["command"] == sys.argv[2]: print(r["mean"])' "$1" "$2"
}
ratio() { python3 -c "import sys; print('%.2f' % (float(sys.argv[1]) / float(sys.argv[2])))" "$1" "$2"; }
ms() { python3 -c "import sys; print('%.2f ms' % (float(sys.argv[1]) * 1000))" "$1"; }

echo "== vexa play 1 against one library call ($runs runs each)"
hyperfine -N --warmup 20 --runs "$runs" --export-json "$work/start.json" \
  -n baseline "$base 127.0.40.1 1" \
  -n vexa "$vexa --address 127.0.40.1 play 1" \
  -n vexa-hall16 "$vexa --hall $hall40 --sign s1 play 1" >"$work/start.txt" 2>&1 ||
  { cat "$work/start.txt"; exit 1; }
b=$(mean "$work/start.json" baseline)
v=$(mean "$work/start.json" vexa)
h=$(mean "$work/start.json" vexa-hall16)
echo "baseline (C, one call)       $(ms "$b")"
echo "vexa --address               $(ms "$v")   ratio $(ratio "$v" "$b")   (aim < 1.5)"
echo "vexa --sign, 16-sign hall    $(ms "$h")   ratio $(ratio "$h" "$b")   (aim < 2)"

for set in 40 41; do
  file=$work/hall$set.toml
  label="answering at once"
  [ "$set" = 41 ] && label="answering after 20 ms"
  n=$((runs / 4 > 10 ? runs / 4 : 10))
  singles=()
  for i in $(seq 16); do singles+=(-n "s$i" "$vexa --hall $file --sign s$i lineup 1 A012"); done
  hyperfine -N --warmup 5 --runs "$n" --export-json "$work/call$set.json" \
    -n call "$vexa --hall $file call A012 1" "${singles[@]}" >"$work/call$set.txt" 2>&1 ||
    { cat "$work/call$set.txt"; exit 1; }
  c=$(mean "$work/call$set.json" call)
  slowest=0
  for i in $(seq 16); do
    s=$(mean "$work/call$set.json" "s$i")
    slowest=$(python3 -c "import sys; print(max(float(sys.argv[1]), float(sys.argv[2])))" "$slowest" "$s")
  done
  echo "== call on 16 signs, $label ($n runs each)"
  echo "slowest single sign          $(ms "$slowest")"
  echo "call A012 1 (16 signs)       $(ms "$c")   ratio $(ratio "$c" "$slowest")   (aim < 1.5)"
done
