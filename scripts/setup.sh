#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail
# clang and its runtime libraries build and run the fuzz targets; libpcap
# (found through pkg-config) reads captures for vexa-sim decode; cpp-httplib
# serves vexa-sim's sign page, whose texts are drawn in Unifont; Python 3 and
# Chromium test that page in a browser.
need=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev libstb-dev
      libpcap-dev clang libclang-rt-14-dev libcpp-httplib-dev unifont python3 chromium)
missing=()
for p in "${need[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi
