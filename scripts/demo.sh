#!/usr/bin/env bash
# Builds everything and runs the demo: starts isilon-sim on 127.0.0.1:8080 with a fresh
# certificate, runs isilonctl against it trusting that certificate, then stops the simulator.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/deps.sh"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"

work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

address=${DEMO_ADDRESS:-127.0.0.1}
build/sim/isilon-sim --address "$address" --port 8080 --user admin:demo-password \
  --write-cert "$work/cluster.pem" --ready-file "$work/ready" --demo \
  >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -f "$work/ready" ] && break; sleep 0.1; done
[ -f "$work/ready" ] || { cat "$work/sim.log"; echo "isilon-sim did not start" >&2; exit 1; }

ctl() {
  echo "+ isilonctl $*"
  echo demo-password | build/cli/isilonctl --server "$address" --user admin --password-stdin \
    --ca-file "$work/cluster.pem" "$@"
}
export -f ctl 2>/dev/null || true
export address work

ctl login
for step in "$root"/scripts/demo.d/*.sh; do
  [ -f "$step" ] || continue
  # shellcheck source=/dev/null
  source "$step"
done
echo "Demo finished."
