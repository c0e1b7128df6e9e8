#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need (safe to run again).
set -euo pipefail
packages=(
  cmake g++ make pkg-config ccache
  libcurl4-openssl-dev libssl-dev libboost-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libcpp-httplib-dev libcli11-dev nlohmann-json3-dev rapidjson-dev
  clang-14 libclang-rt-14-dev clang-format clang-tidy-14 doxygen
  openssl curl time dpkg-dev file
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
