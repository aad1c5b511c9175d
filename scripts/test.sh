#!/usr/bin/env bash
# Builds everything from nothing and runs the whole test suite three times:
# a normal build, an AddressSanitizer + UndefinedBehaviorSanitizer build, and
# a ThreadSanitizer build of the suites that use threads; then runs every fuzz
# target under ASan/UBSan for VEXA_FUZZ_SECONDS seconds each (default 60: four
# targets, about four minutes of fuzzing and two of building with clang).
# After the normal build, the emulator's sign page is tested in headless
# Chromium.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

run_suite() {
  local dir=$1
  shift
  echo "==== $dir"
  cmake -S "$root" -B "$root/$dir" -G Ninja "$@" >/dev/null
  cmake --build "$root/$dir" -j 2
  (cd "$root/$dir" && ctest --output-on-failure -j 4)
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "==== browser: the sign page in headless Chromium"
python3 "$root/tests/browser/sign_page_test.py" "$root/build" "$root/build/sign-page.png"
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DVEXA_SANITIZE=address,undefined
run_suite build-tsan -DCMAKE_BUILD_TYPE=Debug -DVEXA_SANITIZE=thread
echo "==== fuzz targets"
"$root/scripts/fuzz.sh" "${VEXA_FUZZ_SECONDS:-60}"
echo "==== all test builds passed"
