#!/usr/bin/env bash
# The build's own guard: a file compiled in a layer, against that layer's include root, cannot
# include a header of a layer above it, while its own layer's headers compile.
#   compile-probes.sh CXX LAYERS_DIR
set -euo pipefail
cxx=$1
layers=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"  # not the repository: quoted includes must come from the layer's root

# layer, header, whether it must compile
probes=(
  "json json/jsonxx.h yes"
  "json json/Document.h yes"
  "json host/Export.h yes"
  "json host/ZemError.h no"
  "json isilon/ManageIsilon.h no"
  "host host/QuorLibCurl.h yes"
  "host json/jsonxx.h yes"
  "host src/common/Redact.h no"
  "host isilon/ManageIsilon.h no"
  "core src/common/Redact.h yes"
  "core isilon/ManageIsilon.h yes"
)
fail=0
for probe in "${probes[@]}"; do
  read -r layer header expected <<<"$probe"
  printf '#include "%s"\n' "$header" >probe.cpp
  if "$cxx" -std=c++17 -fsyntax-only -I "$layers/$layer" probe.cpp 2>errors.txt; then compiled=yes; else compiled=no; fi
  if [ "$compiled" != "$expected" ]; then
    echo "FAILED: in layer $layer, #include \"$header\" compiled: $compiled, expected: $expected"
    cat errors.txt
    fail=1
  elif [ "$compiled" = no ] && ! grep -q "$header: No such file" errors.txt; then
    echo "FAILED: in layer $layer, #include \"$header\" failed for another reason:"
    cat errors.txt
    fail=1
  else
    echo "ok: layer $layer, $header: compiles $compiled"
  fi
done
exit $fail
