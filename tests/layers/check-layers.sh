#!/usr/bin/env bash
# Checks that the library's layers include one way only: json/ <- host/ <- isilon/ and src/.
# Prints each #include that reaches a folder its layer may not use, as FILE:LINE, and fails.
#   check-layers.sh [ROOT]   (default: the repository this script is in)
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$root"

# What each layer may include, as path prefixes from the repository root.
declare -A allowed=(
  [json]="json/ host/Export.h"
  [host]="host/ json/"
  [isilon]="isilon/ host/ json/"
  [src]="src/ isilon/ host/ json/"
)
project='^(json|host|isilon|src|sim|cli|tests|bench|fuzz|examples)/'

errors=0
report() {
  echo "$1:$2: #include \"$3\": $4"
  errors=$((errors + 1))
}

layers=()
for layer in json host isilon src; do
  [ -d "$layer" ] && layers+=("$layer")
done
# One pass over every include line of the layers: FILE:LINE:TEXT.
while IFS= read -r hit; do
  file=${hit%%:*}
  rest=${hit#*:}
  line=${rest%%:*}
  text=${rest#*:}
  layer=${file%%/*}
  dir=${file%/*}
  prefixes="${allowed[$layer]}"
  # The included name and whether it is written in quotes.
  [[ $text =~ include[[:space:]]*([<\"])([^\">]*) ]] || continue
  name=${BASH_REMATCH[2]}
  quoted=0
  [ "${BASH_REMATCH[1]}" = '"' ] && quoted=1
  if [[ $name == *..* || $name == /* ]]; then
    report "$file" "$line" "$name" "include from the repository root, without \"..\" or an absolute path"
    continue
  fi
  if ! [[ $name =~ $project ]]; then
    # A system header, or (in quotes) one beside the file itself, which is the file's own layer.
    if [ $quoted -eq 1 ] && [ ! -f "$dir/$name" ]; then
      report "$file" "$line" "$name" "not a file of the repository: include from the repository root"
    fi
    continue
  fi
  ok=0
  for prefix in $prefixes; do
    if [[ $prefix == */ ]]; then
      [[ $name == "$prefix"* ]] && ok=1
    else
      [[ $name == "$prefix" ]] && ok=1
    fi
  done
  [ $ok -eq 1 ] || report "$file" "$line" "$name" "$layer/ may include only ${allowed[$layer]}"
done < <(grep -rnE --include='*.h' --include='*.hpp' --include='*.cpp' --include='*.inc' \
  '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' "${layers[@]}" | sort -t: -k1,1 -k2,2n || true)

if [ $errors -ne 0 ]; then
  echo "layers: $errors include(s) against the layers (json <- host <- isilon, src)"
  exit 1
fi
echo "layers: every include follows the layers"
