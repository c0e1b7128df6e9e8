#!/usr/bin/env bash
# Builds everything and runs every test: the suite in a normal build (warnings are errors), the
# lint gate, the Debian packages, the API reference, the suite again under AddressSanitizer +
# UndefinedBehaviorSanitizer, then a short libFuzzer pass.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/deps.sh"
jobs=$(nproc)

echo "== normal build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs" --timeout 300)
echo "== the end-to-end suites again, the simulator giving null wherever the cluster's description allows it"
(cd build && ISIM_TEST_NULLS=1 ctest --output-on-failure -j"$jobs" --timeout 300 -L '^(cli|namespace|nfs|session|smb|snapshot|synciq|treewalk)$')

echo "== lint: clang-format and clang-tidy"
"$root/scripts/lint.sh" build

echo "== install, Debian packages (built, lintian, installed), example program, removal"
"$root/scripts/package-check.sh" build

echo "== API reference (warnings are errors)"
rm -rf build-docs
doxygen docs/Doxyfile

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DISILON_SANITIZE=ON -DISILON_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs" --timeout 600)

echo "== libFuzzer pass"
"$root/scripts/fuzz.sh" "${FUZZ_SECONDS:-60}"
echo "All tests passed."
