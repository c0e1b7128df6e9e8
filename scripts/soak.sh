#!/usr/bin/env bash
# Soak test (not part of the default test run): builds bench/soak.cpp in build-bench (Release),
# starts isilon-sim --demo on 127.0.0.91 and runs one ManageIsilon doing SOAK_REQUESTS mixed
# operations, then SOAK_THREADS threads each with its own ManageIsilon doing as many at once,
# printing resident memory and open descriptors; then builds it with ThreadSanitizer in
# build-tsan and runs the threaded phase there (SOAK_TSAN_REQUESTS operations per thread)
# against a simulator on 127.0.0.92, failing on any race report.
# Usage: scripts/soak.sh [--no-tsan]
#   SOAK_REQUESTS (20000), SOAK_THREADS (8), SOAK_TSAN_REQUESTS (2000), SOAK_SECONDS (900 per phase)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
requests=${SOAK_REQUESTS:-20000}
threads=${SOAK_THREADS:-8}
tsanRequests=${SOAK_TSAN_REQUESTS:-2000}
seconds=${SOAK_SECONDS:-900}
tsan=yes
[ "${1:-}" = "--no-tsan" ] && tsan=no
export CCACHE_NOHASHDIR=1
# Failure lines of the library are not wanted on the terminal.
export ISILON_LOG_FILE=/dev/null

work=$(mktemp -d /tmp/isilon-soak-XXXXXX)
simPid=""
stopSim() {
  if [ -n "$simPid" ]; then
    kill "$simPid" 2>/dev/null || true
    wait "$simPid" 2>/dev/null || true
    simPid=""
  fi
}
trap 'stopSim; rm -rf "$work"' EXIT

# Starts BIN --demo on ADDRESS and waits (at most 30 s) until it listens.
startSim() {
  local bin=$1 address=$2
  rm -f "$work/ready" "$work/cert.pem"
  "$bin" --address "$address" --demo --threads 64 --write-cert "$work/cert.pem" --ready-file "$work/ready" \
    >"$work/sim-$address.log" 2>&1 &
  simPid=$!
  for _ in $(seq 300); do
    [ -s "$work/ready" ] && return 0
    kill -0 "$simPid" 2>/dev/null || break
    sleep 0.1
  done
  echo "soak: isilon-sim did not start on $address" >&2
  cat "$work/sim-$address.log" >&2
  return 1
}

echo "== machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), load $(cut -d' ' -f1-3 /proc/loadavg)"
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DISILON_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target soak isilon-sim >/dev/null
startSim build-bench/sim/isilon-sim 127.0.0.91
status=0
build-bench/bench/soak --address=127.0.0.91 --cert="$work/cert.pem" --requests="$requests" \
  --threads="$threads" --seconds="$seconds" || status=1
stopSim

if [ "$tsan" = yes ]; then
  echo "== ThreadSanitizer: threaded phase, $tsanRequests operations per thread"
  cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DISILON_TSAN=ON -DISILON_BUILD_TESTS=OFF \
    -DISILON_BUILD_TOOLS=OFF >/dev/null
  cmake --build build-tsan -j"$(nproc)" --target soak >/dev/null
  # The simulator itself runs uninstrumented: the races looked for are the library's.
  startSim build-bench/sim/isilon-sim 127.0.0.92
  # halt_on_error stops at the first race; exitcode makes any report fail the run.
  if ! TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1" \
      build-tsan/bench/soak --address=127.0.0.92 --cert="$work/cert.pem" --requests="$tsanRequests" \
      --threads="$threads" --phase=threads --seconds="$seconds" --rss-allowance-kib=65536 2>"$work/tsan.log"; then
    status=1
  fi
  if grep -q 'WARNING: ThreadSanitizer' "$work/tsan.log"; then
    echo "soak: ThreadSanitizer reports:" >&2
    cat "$work/tsan.log" >&2
    status=1
  else
    cat "$work/tsan.log" >&2
    echo "  no ThreadSanitizer reports"
  fi
  stopSim
fi
exit $status
