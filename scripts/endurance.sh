#!/usr/bin/env bash
# A simulated day of a backup agent's work (bench/endurance.cpp): builds the program in build/
# (RelWithDebInfo, as the test command does) if needed and runs it for HOURS simulated hours (default 24) against an
# in-process 3-node isilon-sim on 127.0.0.140-142. Exits non-zero when an operation failed or a
# walk read other entries than the simulator holds.
# Usage: scripts/endurance.sh [HOURS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
hours=${1:-24}
export CCACHE_NOHASHDIR=1
# Failure lines of the library are not wanted on the terminal.
export ISILON_LOG_FILE=${ISILON_LOG_FILE:-/dev/null}

echo "== machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), load $(cut -d' ' -f1-3 /proc/loadavg)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target endurance >/dev/null
echo "== endurance --hours=$hours"
build/bench/endurance --hours="$hours"
