#!/usr/bin/env bash
# Builds the fuzz targets of tests/fuzz with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs each for SECONDS (default 60) from its
# seed corpus. Fails when any target crashes, leaks, reads out of bounds,
# hits undefined behaviour, runs out of its memory limit or hangs on one
# input; the input that did it is left in build-fuzz/artifacts/.
#
#   scripts/fuzz.sh [SECONDS]
#
# New inputs a run finds go to build-fuzz/corpus/<target>, not into the tree.
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"
"$root/scripts/setup.sh"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVEXA_SANITIZE=address,undefined -DVEXA_BUILD_FUZZERS=ON -DVEXA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j 2 --target vexa_fuzzers

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$build/artifacts"
failed=()
for target in fuzz_image fuzz_reply_judge fuzz_sim_decode fuzz_roundtrip fuzz_gateway_request; do
  work="$build/corpus/$target"
  mkdir -p "$work"
  log="$build/$target.log"
  echo "==== $target for ${seconds}s"
  # One input may take at most 10 s and one allocation 512 MB; the image
  # decoder holds at most 256 MiB.
  if "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -malloc_limit_mb=512 -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
      "$work" "$root/tests/fuzz/corpus/$target" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "$target: ${runs:-?} runs, no fault"
  else
    tail -n 40 "$log"
    echo "$target: FAULT (log $log)"
    failed+=("$target")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "==== fuzzing found faults in: ${failed[*]}"
  exit 1
fi
echo "==== fuzzing: ${seconds}s a target, no fault"
