#!/usr/bin/env bash
# check_so_exports.sh LIB DEF: the functions LIB defines for others are exactly those DEF names.
set -euo pipefail
want=$(sed -n 's/^ *\(DUDO66413_[A-Za-z0-9]*\)@.*/\1/p' "$2" | sort)
got=$(nm -D --defined-only "$1" | awk '$2 == "T" { print $3 }' | sort)
if [ "$want" != "$got" ]; then
  diff <(echo "$want") <(echo "$got")
  exit 1
fi
echo "$(wc -l <<<"$got") exports as listed"
