#!/usr/bin/env bash
# Checks libvexa-x86 the way a project that uses it, and a distribution that
# packages it, would:
#
#   check.sh install BUILD   installs BUILD into a temporary prefix, checks
#                            what is there, builds this directory's program
#                            out of tree three ways (CMake package,
#                            pkg-config, add_subdirectory) and the installed
#                            examples, and runs the program against vexa-sim
#   check.sh debian BUILD    builds the Debian packages in BUILD, checks their
#                            contents and fields, prints what lintian says,
#                            unpacks them and builds and runs the program
#                            against the unpacked -dev and runtime packages
#                            (and the unpacked vexa-sim and vexa-demo)
#
# BUILD is a configured and built tree of the library (for the Debian
# packages, one configured with -DCMAKE_INSTALL_PREFIX=/usr).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
mode=${1:?usage: check.sh install|debian BUILD}
build=$(cd "${2:?usage: check.sh install|debian BUILD}" && pwd)
version=$(sed -nE 's/^CMAKE_PROJECT_VERSION:STATIC=(.*)$/\1/p' "$build/CMakeCache.txt")
major=${version%%.*}
addr=127.0.0.${VEXA_CONSUMER_ADDR_HOST:-200}

work=$(mktemp -d)
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# Starts the emulator program $1 on $addr and waits until it listens.
start_sim() {
  "$1" --address "$addr" >"$work/sim.log" 2>"$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 100); do
    grep -q listening "$work/sim.err" 2>/dev/null && return 0
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  cat "$work/sim.err" >&2
  fail "$1 did not start"
}

# Configures and builds the consumer ($1: package, pkgconfig or subdirectory)
# in $work/$2 with the extra arguments that follow, then runs it against the
# emulator with LD_LIBRARY_PATH=$3 (may be empty).
consume() {
  local how=$1 name=$2 libpath=$3
  local dir=$work/$name
  shift 3
  echo "== consumer: $how ($name)"
  cmake -S "$here" -B "$dir" -G Ninja -DVEXA_CONSUME="$how" -DVEXA_EXPECT_VERSION="$version" "$@" >"$dir.log" 2>&1 ||
    { cat "$dir.log"; fail "configuring the consumer ($how)"; }
  cmake --build "$dir" -j 2 >>"$dir.log" 2>&1 || { cat "$dir.log"; fail "building the consumer ($how)"; }
  LD_LIBRARY_PATH=$libpath "$dir/demo" "$addr" || fail "the consumer ($how) did not get its command accepted"
}

# Fails unless every path given after the list file is a line of it.
expect_paths() {
  local list=$1 missing=0
  shift
  for p in "$@"; do
    grep -qxF -- "$p" "$list" || { echo "missing: $p" >&2; missing=1; }
  done
  [ "$missing" -eq 0 ] || { echo "contents:" >&2; cat "$list" >&2; fail "files missing in $(basename "$list")"; }
}

# The installed vexa.h stands alone: a plain prototype with parameter names
# on one line for each C function, and no list to read.
check_c_header() {
  local dir=$1
  [ ! -e "$dir/vexa_functions.h" ] || fail "vexa_functions.h is installed"
  ! grep -q 'VEXA_FUNCTION\|vexa_functions' "$dir/vexa.h" || fail "vexa.h still reads the list"
  grep -qxF 'VEXA_C_API int vexa_send_line_up_net(const char* text, const char* ip, int network_mode, int slot_no, int line_kind, int unit_address, bool bracketed);' "$dir/vexa.h" ||
    fail "vexa.h has no plain prototype of vexa_send_line_up_net"
}

check_install() {
  local prefix=$work/prefix
  cmake --install "$build" --prefix "$prefix" >/dev/null
  local libdir
  libdir=$(sed -nE 's/^CMAKE_INSTALL_LIBDIR:PATH=(.*)$/\1/p' "$build/CMakeCache.txt")
  (cd "$prefix" && find . -mindepth 1 \( -type f -o -type l \) | sed 's|^\./||' | sort) >"$work/installed.txt"
  expect_paths "$work/installed.txt" \
    include/vexa-x86/SKYREL.h include/vexa-x86/version.h \
    include/vexa-x86/vexa.h \
    "$libdir/libvexa-x86.so.$version" "$libdir/libvexa-x86.so.$major" "$libdir/libvexa-x86.so" \
    "$libdir/cmake/vexa-x86/vexa-x86Config.cmake" "$libdir/cmake/vexa-x86/vexa-x86ConfigVersion.cmake" \
    "$libdir/cmake/vexa-x86/vexa-x86Targets.cmake" "$libdir/pkgconfig/vexa-x86.pc" \
    bin/vexa-sim bin/vexa-demo share/man/man1/vexa-sim.1.gz share/man/man1/vexa-demo.1.gz \
    share/doc/vexa-x86/README.md share/doc/vexa-x86/LICENSE share/doc/vexa-x86/CHANGELOG.md \
    share/doc/vexa-x86/examples/CMakeLists.txt share/doc/vexa-x86/examples/quickstart.cpp \
    share/doc/vexa-x86/examples/c_quickstart.c
  [ "$(readlink "$prefix/$libdir/libvexa-x86.so.$major")" = "libvexa-x86.so.$version" ] || fail "SONAME link"
  readelf -d "$prefix/$libdir/libvexa-x86.so.$version" | grep -q "Library soname: \[libvexa-x86.so.$major\]" ||
    fail "SONAME is not libvexa-x86.so.$major"
  grep -q "VEXA_VERSION_STRING \"$version\"" "$prefix/include/vexa-x86/version.h" || fail "version.h"
  check_c_header "$prefix/include/vexa-x86"
  echo "installed: $(wc -l <"$work/installed.txt") files, SONAME libvexa-x86.so.$major"

  start_sim "$prefix/bin/vexa-sim"
  local lib=$prefix/$libdir
  consume package package "$lib" -DCMAKE_PREFIX_PATH="$prefix"
  PKG_CONFIG_PATH=$lib/pkgconfig consume pkgconfig pkgconfig "$lib"
  consume subdirectory subdirectory "" -DVEXA_SOURCE_DIR="$root"
  # The next major version is a different package.
  if cmake -S "$here" -B "$work/next-major" -G Ninja -DVEXA_CONSUME=package -DCMAKE_PREFIX_PATH="$prefix" \
       -DVEXA_REQUIRE_VERSION=$((major + 1)).0 >"$work/next-major.log" 2>&1; then
    fail "find_package(vexa-x86 $((major + 1)).0) accepted version $version"
  fi
  echo "== installed examples"
  cmake -S "$prefix/share/doc/vexa-x86/examples" -B "$work/examples" -G Ninja \
    -DCMAKE_PREFIX_PATH="$prefix" >"$work/examples.log" 2>&1 &&
    cmake --build "$work/examples" -j 2 >>"$work/examples.log" 2>&1 || { cat "$work/examples.log"; fail "installed examples"; }
  LD_LIBRARY_PATH=$lib "$work/examples/quickstart" "$addr" | tee "$work/quickstart.out"
  [ "$(grep -c '=0$' "$work/quickstart.out")" -eq 4 ] || fail "the installed quickstart example"
  # The C example, built as C99 against the installed vexa.h: four commands
  # accepted, then an address refused with its reason.
  LD_LIBRARY_PATH=$lib "$work/examples/c_quickstart" "$addr" | tee "$work/c_quickstart.out"
  [ "$(grep -c '=0 (accepted)$' "$work/c_quickstart.out")" -eq 4 ] &&
    grep -q 'is not dotted IPv4$' "$work/c_quickstart.out" || fail "the installed C example"
  echo "== install checks passed"
}

check_debian() {
  local multiarch
  multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
  local libdir=usr/lib/$multiarch
  (cd "$build" && rm -f ./*.deb && cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
  local arch
  arch=$(dpkg --print-architecture)
  local runtime=$build/libvexa-x86-${major}_${version}_$arch.deb
  local dev=$build/libvexa-x86-dev_${version}_$arch.deb
  local tools=$build/vexa-tools_${version}_$arch.deb
  for deb in "$runtime" "$dev" "$tools"; do
    [ -f "$deb" ] || { ls "$build"/*.deb >&2 || true; fail "no $(basename "$deb")"; }
    echo "== $(basename "$deb")"
    dpkg-deb -f "$deb" Package Version Architecture Depends Section
    dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort >"$work/$(basename "$deb").txt"
    sed 's/^/  /' "$work/$(basename "$deb").txt"
  done
  expect_paths "$work/$(basename "$runtime").txt" \
    "$libdir/libvexa-x86.so.$version" "$libdir/libvexa-x86.so.$major" "usr/share/doc/libvexa-x86-$major/copyright"
  expect_paths "$work/$(basename "$dev").txt" \
    usr/include/vexa-x86/SKYREL.h usr/include/vexa-x86/version.h \
    usr/include/vexa-x86/vexa.h "$libdir/libvexa-x86.so" \
    "$libdir/cmake/vexa-x86/vexa-x86Config.cmake" "$libdir/cmake/vexa-x86/vexa-x86ConfigVersion.cmake" \
    "$libdir/cmake/vexa-x86/vexa-x86Targets.cmake" "$libdir/pkgconfig/vexa-x86.pc" \
    usr/share/doc/libvexa-x86-dev/copyright usr/share/doc/vexa-x86/README.md \
    usr/share/doc/vexa-x86/LICENSE usr/share/doc/vexa-x86/CHANGELOG.md \
    usr/share/doc/vexa-x86/examples/CMakeLists.txt
  expect_paths "$work/$(basename "$tools").txt" \
    usr/bin/vexa-sim usr/bin/vexa-demo usr/share/man/man1/vexa-sim.1.gz \
    usr/share/man/man1/vexa-demo.1.gz usr/share/doc/vexa-tools/copyright \
    "$libdir/wireshark/plugins/vexa.lua"
  # The runtime package holds the library only, the tools package no library.
  ! grep -qv -e "^$libdir/libvexa-x86.so.$major" -e "^usr/share/doc/libvexa-x86-$major/" "$work/$(basename "$runtime").txt" ||
    fail "the runtime package holds more than the library"
  ! grep -q '\.so' "$work/$(basename "$tools").txt" || fail "the tools package holds a library"
  # No file in two packages.
  sort "$work"/*.deb.txt | uniq -d | grep . && fail "files in two packages"
  # Dependencies: the runtime's computed from the library, the -dev package's
  # on exactly this runtime.
  local depends
  depends=$(dpkg-deb -f "$runtime" Depends)
  for needed in libc6 libstdc++6; do
    grep -q "$needed" <<<"$depends" || fail "libvexa-x86-$major does not depend on $needed: $depends"
  done
  grep -q "libvexa-x86-$major (= $version)" <<<"$(dpkg-deb -f "$dev" Depends)" || fail "-dev dependency"
  depends=$(dpkg-deb -f "$tools" Depends)
  grep -q "libvexa-x86-$major" <<<"$depends" && grep -q libc6 <<<"$depends" || fail "vexa-tools dependencies: $depends"
  dpkg-deb -I "$runtime" shlibs | grep -qx "libvexa-x86 $major libvexa-x86-$major (>= $version)" ||
    fail "shlibs of libvexa-x86-$major"

  echo "== lintian"
  if command -v lintian >/dev/null; then
    lintian --tag-display-limit 0 --display-info "$runtime" "$dev" "$tools" 2>&1 |
      grep -v 'running with root privileges' | tee "$work/lintian.txt" || true
    [ -s "$work/lintian.txt" ] || echo "(nothing)"
    ! grep -q '^E:' "$work/lintian.txt" || fail "lintian reports errors"
  else
    echo "lintian not installed"
  fi

  local unpacked=$work/root
  for deb in "$runtime" "$dev" "$tools"; do dpkg-deb -x "$deb" "$unpacked"; done
  check_c_header "$unpacked/usr/include/vexa-x86"
  local lib=$unpacked/$libdir
  start_sim "$unpacked/usr/bin/vexa-sim"
  consume package deb-package "$lib" -DCMAKE_PREFIX_PATH="$unpacked/usr"
  PKG_CONFIG_SYSROOT_DIR=$unpacked PKG_CONFIG_LIBDIR=$lib/pkgconfig consume pkgconfig deb-pkgconfig "$lib"
  echo "== vexa-demo from the package"
  LD_LIBRARY_PATH=$lib "$unpacked/usr/bin/vexa-demo" "$addr" >"$work/demo.out" 2>&1 &
  local demo=$!
  for _ in $(seq 150); do
    grep -q 'sleep20s' "$work/demo.out" && break
    kill -0 "$demo" 2>/dev/null || break
    sleep 0.1
  done
  kill "$demo" 2>/dev/null || true
  wait "$demo" 2>/dev/null || true
  cat "$work/demo.out"
  grep -qx 'SendTemplateData_Net=0' "$work/demo.out" || fail "vexa-demo's upload was not accepted"
  echo "== Debian package checks passed"
}

case "$mode" in
  install) check_install ;;
  debian) check_debian ;;
  *) fail "unknown check $mode" ;;
esac
