#!/usr/bin/env bash
# The layer check over a small tree with one include against each rule and allowed ones beside
# them: it must fail, naming exactly the offending lines.
#   check-layers-selftest.sh CHECK_SCRIPT
set -euo pipefail
check=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree"/{json,host/transport,isilon,src/common,src/session,tests}
put() { printf '%s\n' "${@:2}" >"$tree/$1"; }
put json/b.h '#pragma once'
put json/a.h '#pragma once' '#include "json/b.h"' '#include "host/Export.h"' '#include "host/ZemError.h"' \
  '#include <string>'
put host/Export.h '#pragma once'
put host/ZemError.h '#pragma once' '#include "host/Export.h"'
put host/c.cpp '#include "json/b.h"' '#include "src/common/Redact.h"' '#  include <src/common/Redact.h>' \
  '#include "isilon/M.h"' '#include "ZemError.h"' '#include "Missing.h"'
put host/transport/QuorLibCurl.cpp '#include "src/common/Redact.h"' '#include "isilon/M.h"'
put isilon/M.h '#pragma once' '#include "host/Export.h"' '#include "json/b.h"' '#include "src/session/Cycle.h"'
put src/common/Redact.h '#pragma once'
put src/session/Cycle.h '#pragma once' '#include "isilon/M.h"'
put src/s.cpp '#include "json/b.h"' '#include "host/ZemError.h"' '#include "isilon/M.h"' '#include "src/common/Redact.h"' \
  '#include "../tests/z.h"' '#include "sim/core/Faults.h"' '#include <vector>' '#include "/usr/include/stdio.h"'
put tests/z.h '#pragma once'

expected=(
  json/a.h:4 host/c.cpp:2 host/c.cpp:3 host/c.cpp:4 host/c.cpp:6 host/transport/QuorLibCurl.cpp:1 host/transport/QuorLibCurl.cpp:2
  isilon/M.h:4 src/s.cpp:5 src/s.cpp:6 src/s.cpp:8
)
status=0
output=$("$check" "$tree") || status=$?
echo "$output"
fail=0
if [ $status -eq 0 ]; then
  echo "selftest: the check passed a tree with includes against the layers"
  fail=1
fi
found=$(grep -oE '^[a-z/A-Za-z]+\.(h|cpp):[0-9]+' <<<"$output" | sort)
want=$(printf '%s\n' "${expected[@]}" | sort)
if [ "$found" != "$want" ]; then
  echo "selftest: named lines differ from the expected ones"
  diff <(echo "$want") <(echo "$found") || true
  fail=1
fi
[ $fail -eq 0 ] && echo "selftest: the check names every offending line and no other"
exit $fail
