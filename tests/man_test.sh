#!/usr/bin/env bash
# The manual pages format without a single groff warning, render with
# man -l, and carry the project's version.
#   man_test.sh VERSION PAGE...
set -euo pipefail
version=$1
shift
fail=0
for page in "$@"; do
  warnings=$(groff -man -ww -z "$page" 2>&1)
  if [ -n "$warnings" ]; then
    printf '%s:\n%s\n' "$page" "$warnings"
    fail=1
  fi
  rendered=$(MANWIDTH=80 man -l "$page" 2>&1 >/dev/null) || fail=1
  [ -z "$rendered" ] || { printf '%s: man -l: %s\n' "$page" "$rendered"; fail=1; }
  grep -q "^\.TH .* \"Tessera $version\" " "$page" ||
    { echo "$page: .TH does not name Tessera $version"; fail=1; }
done
exit "$fail"
