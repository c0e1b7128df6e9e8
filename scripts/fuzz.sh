#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each from its seeds in fuzz/corpus/<name>/
# (replies captured from isilon-sim) and the inputs kept in fuzz/regressions/<name>/.
# Usage: scripts/fuzz.sh [total seconds]   (or FUZZ_SECONDS=...; default 75, shared out among
# the targets, at least 5 s each). A longer search, e.g.: FUZZ_SECONDS=3600 scripts/fuzz.sh
# A crash leaves its input in build-fuzz/artifacts/; keep it in fuzz/regressions/<name>/ once the
# reader is fixed, where tests/fuzzregress replays it in every test run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
total=${1:-${FUZZ_SECONDS:-75}}
# The readers log every reply they reject; that would only slow the search down.
export ISILON_LOG_FILE=/dev/null
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
  -DISILON_FUZZ=ON -DISILON_SANITIZE=ON -DISILON_BUILD_TESTS=OFF -DISILON_BUILD_BENCH=OFF \
  -DISILON_BUILD_TOOLS=OFF >/dev/null
names=()
for src in fuzz/fuzz_*.cpp; do names+=("$(basename "$src" .cpp)"); done
# Only the targets: the shared library of this configuration is not needed.
cmake --build build-fuzz -j"$(nproc)" --target "${names[@]}"
each=$(( total / ${#names[@]} ))
(( each >= 5 )) || each=5
mkdir -p build-fuzz/artifacts
status=0
for name in "${names[@]}"; do
  short=${name#fuzz_}
  work="build-fuzz/corpus/$short"
  mkdir -p "$work"
  seeds=()
  for dir in "fuzz/corpus/$short" "fuzz/regressions/$short"; do
    [ -d "$dir" ] && seeds+=("$dir")
  done
  echo "-- $name for ${each}s"
  set +e
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "build-fuzz/fuzz/$name" -max_total_time="$each" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
    -close_fd_mask=2 -print_final_stats=0 -artifact_prefix="build-fuzz/artifacts/$name-" "$work" "${seeds[@]}" \
    >"build-fuzz/$name.log" 2>&1
  rc=$?
  set -e
  grep -E '^(#[0-9]+[[:space:]]+DONE|==[0-9]+==|SUMMARY|artifact_prefix|Test unit written|INFO: seed corpus)' \
    "build-fuzz/$name.log" || true
  if ((rc != 0)); then
    echo "$name FAILED (exit $rc): see build-fuzz/$name.log" >&2
    status=1
  fi
done
exit $status
