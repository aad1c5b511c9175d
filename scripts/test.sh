#!/usr/bin/env bash
# Builds everything from nothing and runs every check, one step after another:
#
#   normal   RelWithDebInfo build, whole test suite, exported names
#   browser  the emulator's sign page of the normal build in headless Chromium,
#            driven by chromedriver through Selenium
#   python   the Python package checked with mypy --strict, installed into a
#            fresh virtual environment and its tests run against the normal
#            build, and the wheel that carries the library installed and
#            called (scripts/test-python.sh, scripts/wheel.sh)
#   asan     AddressSanitizer + UndefinedBehaviorSanitizer build, whole suite
#   tsan     ThreadSanitizer build of the suites that use threads
#   release  GCC Release build (installed to /usr in packages), whole suite,
#            exported names
#   clang    clang Release build of the whole tree, whole suite, exported names
#   install  the release build installed into a temporary prefix and used
#            from outside: CMake package, pkg-config, add_subdirectory, the
#            installed examples (tests/consumer/check.sh install)
#   debian   Debian packages of the release build: contents, dependencies,
#            lintian, and the consumer built against the unpacked packages
#            (tests/consumer/check.sh debian)
#   docs     the API reference (undocumented declarations fail it) and its
#            Python section (Sphinx autodoc; a docstring warning fails it)
#   fuzz     every fuzz target under ASan/UBSan for VEXA_FUZZ_SECONDS seconds
#            each (default 60: four targets, about four minutes of fuzzing and
#            two of building with clang; scripts/fuzz.sh)
#
# Every build treats warnings as errors. `scripts/test.sh release debian`
# runs only the steps named; VEXA_TEST_STEPS does the same. A new step is a
# function step_<name> and its name in `all_steps` below.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
all_steps=(normal browser python asan tsan release clang install debian docs fuzz)
steps=("${all_steps[@]}")
"$root/scripts/setup.sh"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

# Configures and builds $1 (a directory under the repository) with the
# arguments that follow.
build() {
  local dir=$1
  shift
  cmake -S "$root" -B "$root/$dir" -G Ninja -DVEXA_WERROR=ON "$@" >/dev/null
  cmake --build "$root/$dir" -j 2
}

# Runs the test suite of build $1.
run_tests() {
  (cd "$root/$1" && ctest --output-on-failure -j 4)
}

# The shared library of build $1 exports exactly the interface. The checker
# lives beside the repository (../shared/abi); where it is missing the check
# is skipped with a line saying so (the version script still holds the
# exports to the interface).
check_exports() {
  local checker=${VEXA_CHECK_ABI:-$root/../shared/abi/check-abi}
  if [ ! -x "$checker" ]; then
    echo "check-abi not found at $checker: exported names not checked"
    return 0
  fi
  echo "exported names of $1: $("$checker" --exact "$root/$1/libvexa-x86.so" | tail -n 1)"
  "$checker" --exact "$root/$1/libvexa-x86.so" >/dev/null
}

step_normal() {
  build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
  run_tests build
  check_exports build
}

# Debian's interpreter: python3-selenium belongs to it, whatever other python3
# comes first on the PATH.
step_browser() {
  "${VEXA_PYTHON:-/usr/bin/python3}" "$root/tests/browser/sign_page_test.py" "$root/build" \
    "$root/build/sign-page.png"
}

step_python() {
  "$root/scripts/test-python.sh" "$root/build"
}

step_asan() {
  build build-asan -DCMAKE_BUILD_TYPE=Debug -DVEXA_SANITIZE=address,undefined
  run_tests build-asan
}

step_tsan() {
  build build-tsan -DCMAKE_BUILD_TYPE=Debug -DVEXA_SANITIZE=thread
  run_tests build-tsan
}

# The release build, brought up to date once per run; the packaging steps
# use it too.
release_built=""
build_release() {
  [ -n "$release_built" ] && return 0
  build build-release -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
    -DCMAKE_INSTALL_PREFIX=/usr
  release_built=yes
}

step_release() {
  build_release
  run_tests build-release
  check_exports build-release
}

step_clang() {
  build build-clang -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
  run_tests build-clang
  check_exports build-clang
}

step_install() {
  build_release
  "$root/tests/consumer/check.sh" install "$root/build-release"
}

step_debian() {
  build_release
  "$root/tests/consumer/check.sh" debian "$root/build-release"
}

step_docs() {
  build_release
  cmake --build "$root/build-release" --target docs
}

step_fuzz() {
  "$root/scripts/fuzz.sh" "${VEXA_FUZZ_SECONDS:-60}"
}

if [ $# -gt 0 ]; then
  steps=("$@")
elif [ -n "${VEXA_TEST_STEPS:-}" ]; then
  read -r -a steps <<<"$VEXA_TEST_STEPS"
fi
timings=()
for step in "${steps[@]}"; do
  declare -F "step_$step" >/dev/null || { echo "unknown step: $step (steps: ${all_steps[*]})" >&2; exit 2; }
  echo "==== $step"
  start=$SECONDS
  "step_$step"
  timings+=("$step $((SECONDS - start)) s")
done
echo "==== all steps passed"
printf '  %s\n' "${timings[@]}"
