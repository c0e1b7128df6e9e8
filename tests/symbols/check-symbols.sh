#!/usr/bin/env bash
# Checks that a shared library exports every symbol a host needs, and no internal helper.
#   check-symbols.sh LIBRARY REQUIRED_LIST
# List lines: "=NAME" a raw (undecorated) dynamic symbol, "~PREFIX" a raw symbol prefix (a
# decorated name), "!TEXT" a demangled text no exported symbol may contain, anything else a
# demangled text some exported symbol must start with; "#" starts a comment.
set -euo pipefail
library=$1
list=$2
raw=$(nm -D --defined-only "$library" | awk '{print $3}')
demangled=$(nm -DC --defined-only "$library" | cut -d' ' -f3-)
missing=0
while IFS= read -r line || [ -n "$line" ]; do
  line=${line%%#*}
  line=$(echo "$line" | sed -e 's/[[:space:]]*$//' -e 's/^[[:space:]]*//')
  [ -z "$line" ] && continue
  case $line in
    =*) grep -qxF -- "${line#=}" <<<"$raw" || { echo "missing symbol: ${line#=}"; missing=1; } ;;
    ~*) grep -q -- "^${line#\~}" <<<"$raw" || { echo "missing decorated symbol: ${line#\~}..."; missing=1; } ;;
    !*) if grep -qF -- "${line#!}" <<<"$demangled"; then echo "exported but internal: ${line#!}"; missing=1; fi ;;
    *) grep -qF -- "$line" <<<"$demangled" || { echo "missing: $line"; missing=1; } ;;
  esac
done <"$list"
exit $missing
