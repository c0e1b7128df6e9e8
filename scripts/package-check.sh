#!/usr/bin/env bash
# Installs the build into a scratch prefix, builds examples/ against it from outside the source
# tree (CMake package and pkg-config), runs both against isilon-sim, and builds and inspects the
# Debian packages.   Usage: scripts/package-check.sh [build dir, default build]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

echo "-- install into a scratch prefix"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
libdir=$(dirname "$(find "$work/prefix" -name 'libisilonclient.so' | head -1)")
test -n "$libdir"
readelf -d "$libdir/libisilonclient.so" | grep -q 'SONAME.*libisilonclient.so.1'

echo "-- example through the CMake package"
cmake -S "$root/examples" -B "$work/example-cmake" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/example-cmake" >/dev/null

echo "-- example through pkg-config"
PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --exists isilonclient
# shellcheck disable=SC2046
g++ -std=c++17 -o "$work/example-pc" "$root/examples/main.cpp" \
  $(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs isilonclient)

echo "-- both against isilon-sim"
address=127.0.0.9
"$work/prefix/bin/isilon-sim" --address "$address" --port 8080 --user admin:example-pass \
  --write-cert "$work/cluster.pem" --ready-file "$work/ready" --demo >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -f "$work/ready" ] && break; sleep 0.1; done
[ -f "$work/ready" ] || { cat "$work/sim.log"; echo "isilon-sim did not start" >&2; exit 1; }
printf '[NAS]\nsIsilonCAFile = %s\n' "$work/cluster.pem" >"$work/registry.ini"
for example in "$work/example-cmake/isilon_example" "$work/example-pc"; do
  ISILON_REGISTRY="$work/registry.ini" ISILON_PASSWORD=example-pass LD_LIBRARY_PATH="$libdir" \
    "$example" "$address" admin /ifs >"$work/out.txt"
  grep -q '^node ' "$work/out.txt" || { cat "$work/out.txt"; exit 1; }
done

echo "-- Debian packages"
(cd "$build" && cpack -G DEB >/dev/null)
lib_deb=$(ls "$build"/libisilonclient1_*.deb)
tools_deb=$(ls "$build"/isilonclient-tools_*.deb)
dpkg-deb --contents "$lib_deb" >"$work/lib.txt"
dpkg-deb --contents "$tools_deb" >"$work/tools.txt"
for wanted in 'libisilonclient.so.1$' 'include/isilon/ManageIsilon.h' 'include/json/jsonxx.h' \
  'include/host/QuorLibCurl.h' 'pkgconfig/isilonclient.pc' 'cmake/isilonclient/isilonclientConfig.cmake'; do
  grep -q "$wanted" "$work/lib.txt" || { echo "missing in $lib_deb: $wanted" >&2; exit 1; }
done
for wanted in 'bin/isilonctl$' 'bin/isilon-sim$'; do
  grep -q "$wanted" "$work/tools.txt" || { echo "missing in $tools_deb: $wanted" >&2; exit 1; }
done
dpkg-deb --field "$tools_deb" Depends | grep -q libisilonclient1
echo "package check passed"
