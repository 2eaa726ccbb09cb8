#!/usr/bin/env bash
# `cpack -G DEB` makes one Debian package with the right metadata, holding
# the three programs, their manual pages, the README, the copyright file and
# the changelog under /usr and nothing else, dated by SOURCE_DATE_EPOCH or
# else the changelog, and the same under any umask; unpacked with dpkg-deb
# -x into a fresh root, `man` finds the pages there and the packaged
# programs, stripped, list, seal and open the example.
#   package_test.sh BUILD SOURCE VERSION SUMMARY
set -euo pipefail
build=$1 source=$2 version=$3 summary=$4
. "$source/tests/check_installed.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/tessera-package-XXXXXX")
trap 'rm -rf "$work"' EXIT

# Makes the package in OUT under UMASK, with the environment's
# SOURCE_DATE_EPOCH; the package and CPack's staging stay in the temporary
# directory.
#   make_package OUT UMASK
arch=$(dpkg --print-architecture)
make_package() {
  (umask "$2" && "${CPACK:-cpack}" -G DEB --config "$build/CPackConfig.cmake" \
    -B "$1" > "$1.log" 2>&1) || { cat "$1.log"; exit 1; }
  [ -f "$1/tessera_${version}_${arch}.deb" ] || { ls -l "$1"; cat "$1.log"; exit 1; }
}
# Every member of DEB is dated SECONDS since the epoch.
#   expect_dates DEB SECONDS
expect_dates() {
  local expected dates
  expected=$(TZ=UTC date -d "@$2" '+%Y-%m-%d %H:%M:%S')
  dates=$(TZ=UTC dpkg-deb --fsys-tarfile "$1" | TZ=UTC tar -tv --full-time |
    awk '{ print $4, $5 }' | sort -u)
  [ "$dates" = "$expected" ] ||
    { printf '%s: dated\n%s\nnot %s\n' "$1" "$dates" "$expected"; fail=1; }
}

fail=0
# Without a SOURCE_DATE_EPOCH the package is dated by the changelog's newest
# entry, and it is the same package, byte for byte, under another umask.
unset SOURCE_DATE_EPOCH
make_package "$work/out" 022
deb=$work/out/tessera_${version}_${arch}.deb
expect_dates "$deb" "$(dpkg-parsechangelog -l "$source/packaging/changelog" -S Timestamp)"
make_package "$work/out-002" 002
cmp "$deb" "$work/out-002/tessera_${version}_${arch}.deb" ||
  { echo "the package made under umask 002 differs"; fail=1; }
# Directories and programs rwxr-xr-x, every other file rw-r--r--, owned by
# root.
modes=$(dpkg-deb -c "$deb" | awk '
  $2 != "root/root" { print "owner " $2 ": " $6 }
  $1 ~ /^d/ && $1 != "drwxr-xr-x" { print $1 ": " $6 }
  $1 ~ /^-/ && $6 ~ /^\.\/usr\/bin\// && $1 != "-rwxr-xr-x" { print $1 ": " $6 }
  $1 ~ /^-/ && $6 !~ /^\.\/usr\/bin\// && $1 != "-rw-r--r--" { print $1 ": " $6 }')
[ -z "$modes" ] || { printf 'unexpected modes:\n%s\n' "$modes"; fail=1; }
# A SOURCE_DATE_EPOCH of the caller's dates it instead.
SOURCE_DATE_EPOCH=1234567890 make_package "$work/out-dated" 022
expect_dates "$work/out-dated/tessera_${version}_${arch}.deb" 1234567890

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
./usr/bin/tessera-table
./usr/share/doc/tessera/README.md
./usr/share/doc/tessera/changelog.gz
./usr/share/doc/tessera/copyright
./usr/share/man/man1/Tessera.1.gz
./usr/share/man/man1/tessera-open.1.gz
./usr/share/man/man1/tessera-table.1.gz"
dpkg-deb -x "$deb" "$work/root"
packaged=$(cd "$work/root" && find . ! -type d | LC_ALL=C sort)
if [ "$packaged" != "$expected" ]; then
  printf 'packaged:\n%s\nexpected:\n%s\n' "$packaged" "$expected"
  fail=1
fi
# Stripped as dh_strip strips: no symbols, no debugging sections, and no
# .comment or .note sections.
for program in "$work"/root/usr/bin/*; do
  sections=$(readelf -SW "$program" |
    grep -oE ' \.(symtab|debug_[a-z_]*|comment|note) ' | tr -s ' \n' ' ' || true)
  [ -z "$sections" ] ||
    { echo "$(basename "$program") is not stripped:$sections"; fail=1; }
done
check_docs "$work/root/usr/share/doc/tessera" || fail=1
check_man "$work/root/usr/bin" "$work/root/usr/share/man" || fail=1
[ "$fail" = 0 ] || { dpkg-deb -I "$deb"; exit 1; }

cd "$work"
check_programs "$work/root/usr/bin" "$work"
echo "$(basename "$deb"): metadata and contents as expected;" \
  "the packaged programs list, seal and open $example_gtk"
