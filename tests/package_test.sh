#!/usr/bin/env bash
# `cpack -G DEB` makes one Debian package with the right metadata, holding
# the two programs, their manual pages, the README, the copyright file and
# the changelog under /usr and nothing else; unpacked with dpkg-deb -x into
# a fresh root, `man` finds the pages there and the packaged programs,
# stripped, seal and open the example.
#   package_test.sh BUILD SOURCE VERSION SUMMARY
set -euo pipefail
build=$1 source=$2 version=$3 summary=$4
. "$source/tests/check_installed.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/tessera-package-XXXXXX")
trap 'rm -rf "$work"' EXIT

# The package and CPack's staging stay in the temporary directory.
"${CPACK:-cpack}" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" \
  > "$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }

arch=$(dpkg --print-architecture)
deb=$work/out/tessera_${version}_${arch}.deb
[ -f "$deb" ] || { ls -l "$work/out"; cat "$work/cpack.log"; exit 1; }

fail=0
field() { dpkg-deb -f "$deb" "$1"; }
expect_field() {
  local value
  value=$(field "$1")
  if [ "$value" != "$2" ]; then
    echo "$1: '$value', expected '$2'"
    fail=1
  fi
}
expect_field Package tessera
expect_field Version "$version"
expect_field Architecture "$arch"
expect_field Section utils
expect_field Priority optional
[ -n "$(field Maintainer)" ] || { echo "no Maintainer"; fail=1; }
description=$(field Description)
[ "${description%%$'\n'*}" = "$summary" ] ||
  { echo "Description: $description"; fail=1; }
[ "$(printf '%s\n' "$description" | wc -l)" -gt 1 ] ||
  { echo "Description has no long text"; fail=1; }
# Computed by dpkg-shlibdeps from what the programs link: the C library at
# least, with a version.
depends=$(field Depends)
[[ "$depends" =~ (^|, )libc6\ \(\>=\ [0-9] ]] ||
  { echo "Depends: '$depends'"; fail=1; }

expected="./usr/bin/Tessera
./usr/bin/tessera-open
./usr/share/doc/tessera/README.md
./usr/share/doc/tessera/changelog.gz
./usr/share/doc/tessera/copyright
./usr/share/man/man1/Tessera.1.gz
./usr/share/man/man1/tessera-open.1.gz"
dpkg-deb -x "$deb" "$work/root"
packaged=$(cd "$work/root" && find . ! -type d | LC_ALL=C sort)
if [ "$packaged" != "$expected" ]; then
  printf 'packaged:\n%s\nexpected:\n%s\n' "$packaged" "$expected"
  fail=1
fi
# Stripped as dh_strip strips: no symbols, no debugging sections, and no
# .comment or .note sections.
for program in "$work"/root/usr/bin/*; do
  sections=$(readelf -SW "$program" | grep -oE ' \.(symtab|debug_[a-z_]*|comment|note) ' || true)
  [ -z "$sections" ] ||
    { echo "$(basename "$program") is not stripped: "$sections; fail=1; }
done
check_docs "$work/root/usr/share/doc/tessera" || fail=1
check_man "$work/root/usr/bin" "$work/root/usr/share/man" || fail=1
[ "$fail" = 0 ] || { dpkg-deb -I "$deb"; exit 1; }

cd "$work"
check_programs "$work/root/usr/bin" "$work"
echo "$(basename "$deb"): metadata and contents as expected;" \
  "the packaged programs seal and open $example_gtk"
