#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the fuzz targets, the
# packaging checks and the API reference need, when missing.
set -euo pipefail
need=(
  cmake ninja-build g++ clang            # compilers and build
  libclang-rt-14-dev                     # clang's runtimes: fuzz targets
  libgtest-dev libgmock-dev libbenchmark-dev libstb-dev pkg-config
  libpcap-dev                            # vexa-sim decode reads captures
  libcpp-httplib-dev unifont             # vexa-sim's sign page and its texts
  libsqlite3-dev nlohmann-json3-dev      # vexa-gateway: its store, its JSON
  libsystemd-dev                         #   and its readiness to systemd
  libmosquitto-dev mosquitto             #   its MQTT front and the broker of its tests,
  mosquitto-clients                      #   mosquitto_pub/_sub of the README
  libtomlplusplus-dev                    # the hall file (TOML)
  libcli11-dev hyperfine                 # vexa's command line; its benchmark
  python3 chromium chromium-driver       # the sign page tested in a browser,
  python3-selenium                       #   driven through chromedriver
  python3-venv python3-setuptools        # the Python package, installed and
  python3-wheel python3-pytest           #   tested without a package index,
  mypy                                   #   its types checked (mypy --strict)
  python3-sphinx                         #   and its API reference (docs)
  dpkg-dev lintian                       # Debian packages: dpkg-shlibdeps, checks
  doxygen                                # API reference
  tshark                                 # the Wireshark dissector's test
)
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
