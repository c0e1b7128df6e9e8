#!/usr/bin/env bash
# Builds everything and runs the demo twice, against a simulated cluster of release 8.0.1.2 and
# one of 7.2.1.6: starts isilon-sim on 127.0.0.1:8080 with a fresh
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
release=

start_sim() {
  rm -f "$work/ready"
  # shellcheck disable=SC2086  # DEMO_SIM_ARGS: more isilon-sim options, word by word
  build/sim/isilon-sim --address "$address" --port 8080 --user admin:demo-password --release "$release" ${DEMO_SIM_ARGS:-} \
    --write-cert "$work/cluster.pem" --ready-file "$work/ready" --demo \
    >"$work/sim.log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do [ -f "$work/ready" ] && break; sleep 0.1; done
  [ -f "$work/ready" ] || { cat "$work/sim.log"; echo "isilon-sim did not start" >&2; exit 1; }
}

stop_sim() {
  kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null || true
  sim_pid=
}

# On 7.2.1.6 (API version 2, no /platform/3) a command that needs a newer resource gets the
# cluster's 404; the demo shows that failure and goes on.
ctl() {
  echo "+ isilonctl $*"
  local status=0
  echo demo-password | build/cli/isilonctl --server "$address" --user admin --password-stdin \
    --ca-file "$work/cluster.pem" "$@" 2>"$work/stderr" || status=$?
  cat "$work/stderr" >&2
  [ "$status" -ne 0 ] && [ "$release" = 7.2.1.6 ] && grep -q "AEC_NOT_FOUND: Path not found: /platform/" "$work/stderr" &&
    { echo "  (release 7.2.1.6 does not serve this; see docs/user-guide.md)" >&2; return 0; }
  return "$status"
}
export -f ctl 2>/dev/null || true
export address work

for release in 8.0.1.2 7.2.1.6; do
  echo "== a cluster of release $release"
  start_sim
  ctl login
  for step in "$root"/scripts/demo.d/*.sh; do
    [ -f "$step" ] || continue
    # shellcheck source=/dev/null
    source "$step"
  done
  stop_sim
done
echo "Demo finished."
