#!/usr/bin/env bash
# The lint gate: fails on any clang-format difference in a tracked C++ file, and on any clang-tidy
# finding (.clang-tidy) in the library's sources (src/, host/, json/).
#   scripts/lint.sh [build-dir]   (default build/; configured here if it has no compile_commands.json)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
clang_format=${CLANG_FORMAT:-clang-format}
clang_tidy=${CLANG_TIDY:-clang-tidy-14}

mapfile -t files < <(git ls-files '*.cpp' '*.h')
echo "lint: clang-format over ${#files[@]} files"
"$clang_format" --dry-run --Werror "${files[@]}"

if [ ! -f "$build/compile_commands.json" ]; then
  cmake -S . -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
fi
# The access-zone list reader hides the base overload on purpose (see CMakeLists.txt).
mapfile -t sources < <(git ls-files 'src/*.cpp' 'host/*.cpp' 'json/*.cpp')
echo "lint: $clang_tidy over ${#sources[@]} files"
printf '%s\0' "${sources[@]}" | xargs -0 -n 4 -P "$(nproc)" "$clang_tidy" -p "$build" --quiet \
  --extra-arg=-Wno-overloaded-virtual
echo "lint: clean"
