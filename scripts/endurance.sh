#!/usr/bin/env bash
# A simulated stretch of a backup agent's work (bench/endurance.cpp): builds the program and
# isilon-sim in build/ (RelWithDebInfo, as the test command does) if needed and runs it for HOURS
# simulated hours (default 24) against a 3-node isilon-sim in its own process on 127.0.0.140-142,
# with FAULT_RATE (default 0.01) of the requests answered 503 or cut. The report gives the
# client's and the simulator's memory apart, the allowance and PASS or FAILED; the exit status is
# non-zero when an operation failed, a walk read other entries than the simulator holds, or
# memory or descriptors grew past the allowance.
# Usage: scripts/endurance.sh [HOURS] [FAULT_RATE]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
hours=${1:-24}
rate=${2:-0.01}
export CCACHE_NOHASHDIR=1
# Failure lines of the library are not wanted on the terminal.
export ISILON_LOG_FILE=${ISILON_LOG_FILE:-/dev/null}

echo "== machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), load $(cut -d' ' -f1-3 /proc/loadavg)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target endurance isilon-sim >/dev/null
echo "== endurance --hours=$hours --fault-rate=$rate"
build/bench/endurance --hours="$hours" --fault-rate="$rate" --sim=build/sim/isilon-sim
