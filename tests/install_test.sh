#!/usr/bin/env bash
# `cmake --install` into a fresh prefix installs the three programs, their
# manual pages (which `man` finds there), the README, the copyright file and
# the changelog, and nothing else; the installed programs list, seal and
# open the example.
#   install_test.sh BUILD SOURCE
set -euo pipefail
build=$1 source=$2
. "$source/tests/check_installed.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/tessera-install-XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

"${CMAKE:-cmake}" --install "$build" --prefix "$prefix" > "$work/install.log" ||
  { cat "$work/install.log"; exit 1; }

expected="./bin/Tessera
./bin/tessera-open
./bin/tessera-table
./share/doc/tessera/README.md
./share/doc/tessera/changelog.gz
./share/doc/tessera/copyright
./share/man/man1/Tessera.1.gz
./share/man/man1/tessera-open.1.gz
./share/man/man1/tessera-table.1.gz"
installed=$(cd "$prefix" && find . ! -type d | LC_ALL=C sort)
if [ "$installed" != "$expected" ]; then
  printf 'installed:\n%s\nexpected:\n%s\n' "$installed" "$expected"
  exit 1
fi
check_docs "$prefix/share/doc/tessera"
check_man "$prefix/bin" "$prefix/share/man"
[ -x "$prefix/bin/Tessera" ] && [ -x "$prefix/bin/tessera-open" ] &&
  [ -x "$prefix/bin/tessera-table" ]

cd "$work"
check_programs "$prefix/bin" "$work"
echo "installed programs list, seal and open $example_gtk"
