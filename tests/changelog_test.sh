#!/usr/bin/env bash
# The changelog's newest entry is this version of this package, and
# dpkg-parsechangelog reads the whole file without a complaint.
#   changelog_test.sh CHANGELOG VERSION
set -euo pipefail
changelog=$1 version=$2
parsed=$(dpkg-parsechangelog -l "$changelog" --all 2>&1 >/dev/null)
[ -z "$parsed" ] || { printf '%s\n' "$parsed"; exit 1; }
fail=0
for field in Source:tessera "Version:$version"; do
  value=$(dpkg-parsechangelog -l "$changelog" -S "${field%%:*}")
  [ "$value" = "${field#*:}" ] ||
    { echo "changelog ${field%%:*}: '$value', expected '${field#*:}'"; fail=1; }
done
exit "$fail"
