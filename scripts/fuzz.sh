#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs them from the corpus in fuzz/corpus.
# Usage: scripts/fuzz.sh [total seconds, default 60]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
total=${1:-60}
# The readers log every reply they reject; that would only slow the search down.
export ISILON_LOG_FILE=/dev/null
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
  -DISILON_FUZZ=ON -DISILON_SANITIZE=ON -DISILON_BUILD_TESTS=OFF -DISILON_BUILD_BENCH=OFF \
  -DISILON_BUILD_TOOLS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)"
mapfile -t targets < <(find build-fuzz/fuzz -maxdepth 1 -type f -name 'fuzz_*' -perm -u+x | sort)
if ((${#targets[@]} == 0)); then
  echo "no fuzz targets built" >&2
  exit 1
fi
each=$(( total / ${#targets[@]} ))
(( each >= 5 )) || each=5
for t in "${targets[@]}"; do
  name=$(basename "$t"); corpus="fuzz/corpus/${name#fuzz_}"
  work="build-fuzz/corpus/${name#fuzz_}"
  mkdir -p "$work"
  seeds=()
  [ -d "$corpus" ] && seeds+=("$corpus")
  echo "-- $name for ${each}s"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$t" -max_total_time="$each" -print_final_stats=0 -artifact_prefix="build-fuzz/" "$work" "${seeds[@]}" 2>&1 \
    | grep -E '^(#[0-9]+ +DONE|==[0-9]+==|SUMMARY|artifact|INFO: (Running|Loaded)|Done)' || true
  test "${PIPESTATUS[0]}" -eq 0
done
