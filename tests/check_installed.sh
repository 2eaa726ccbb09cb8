# Sourced by the install and package tests, after they set build and
# source: the example the build made, check_programs to run on it, and
# check_docs and check_man for the documentation beside the programs.
example_gtk=$build/example/example.gtk
example_bump=$source/example/example.bump

# Runs the programs in BIN on the example, from DIR, away from the build
# tree: seals it, opens the sealed file and seals what tessera-open printed
# again, which must give the same bytes; tessera-table's first line names
# as many entries as tessera-open printed values.
#   check_programs BIN DIR
check_programs() {
  local bin=$1 dir=$2 out
  out=$("$bin/Tessera" "$example_gtk" "$example_bump" "$dir/example.qel") || {
    echo "Tessera failed: $out"; return 1; }
  [ -z "$out" ] || { echo "Tessera printed: $out"; return 1; }
  "$bin/tessera-open" "$example_gtk" "$dir/example.qel" > "$dir/opened.bump" || {
    echo "tessera-open failed: $(cat "$dir/opened.bump")"; return 1; }
  [ -s "$dir/opened.bump" ] || { echo "tessera-open printed no values"; return 1; }
  "$bin/Tessera" "$example_gtk" "$dir/opened.bump" "$dir/resealed.qel" ||
    { echo "Tessera refused what tessera-open printed"; return 1; }
  cmp "$dir/example.qel" "$dir/resealed.qel" || return 1
  local values listing
  values=$(wc -l < "$dir/opened.bump")
  listing=$("$bin/tessera-table" "$example_gtk") || {
    echo "tessera-table failed: $listing"; return 1; }
  [ "${listing%%$'\n'*}" = "entry_count $values" ] || {
    echo "tessera-table's first line is not 'entry_count $values': $listing"
    return 1; }
  # A damaged file is refused in the installed program's words too: one
  # byte more than the table allows.
  { cat "$dir/example.qel"; printf x; } > "$dir/extended.qel"
  out=$("$bin/tessera-open" "$example_gtk" "$dir/extended.qel") && {
    echo "tessera-open accepted an extended qel file"; return 1; }
  [ "$out" = "Incorrect size of $dir/extended.qel" ] ||
    { echo "unexpected message: $out"; return 1; }
}

# FILE.gz is SOURCE compressed as `gzip -9n` does: the header holds no
# name and no time (flags and time all zero) and says best compression.
#   check_gzip FILE.gz SOURCE
check_gzip() {
  local header
  header=$(od -An -tx1 -N10 "$1" | tr -d ' \n')
  [ "$header" = 1f8b0800000000000203 ] ||
    { echo "$1: gzip header $header, not that of gzip -9n"; return 1; }
  gzip -dc "$1" | cmp - "$2" || return 1
}

# The documentation in DOC: the README as shipped, the changelog as gzip -9n
# makes it, and the copyright file in Debian's machine-readable format
# holding LICENSE's copyright holder and its whole licence text (one space
# in front of each line, " ." for an empty one).
#   check_docs DOC
check_docs() {
  local doc=$1 holder
  cmp "$source/README.md" "$doc/README.md" || return 1
  check_gzip "$doc/changelog.gz" "$source/packaging/changelog" || return 1
  [ "$(head -1 "$doc/copyright")" = \
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] ||
    { echo "copyright: not in the machine-readable format"; return 1; }
  holder=$(sed -n 's/^Copyright (c) //p' "$source/LICENSE")
  grep -qx "Copyright: $holder" "$doc/copyright" ||
    { echo "copyright: no 'Copyright: $holder'"; return 1; }
  diff <(sed -n '/^Permission/,$p' "$source/LICENSE") \
    <(sed -n '/^License: Expat$/,$p' "$doc/copyright" | sed '1d; s/^ //; s/^\.$//') ||
    { echo "copyright: the licence text differs from LICENSE"; return 1; }
}

# Every manual page of the source tree is installed in MANDIR/man1 as gzip
# -9n makes it, and `man NAME` finds and renders it there when BIN is on the
# PATH, as man finds the pages of any prefix whose programs are on the PATH.
#   check_man BIN MANDIR
check_man() {
  local bin=$1 mandir=$2 page name found text
  for page in "$source"/man/*.1; do
    name=$(basename "$page" .1)
    check_gzip "$mandir/man1/$name.1.gz" "$page" || return 1
    found=$(env -u MANPATH PATH="$bin:$PATH" man -w "$name") ||
      { echo "man -w $name: not found with $bin on the PATH"; return 1; }
    [ "$found" = "$mandir/man1/$name.1.gz" ] ||
      { echo "man -w $name: $found, not the page in $mandir"; return 1; }
    text=$(env -u MANPATH PATH="$bin:$PATH" MANWIDTH=80 MANPAGER=cat man "$name" 2>&1) ||
      { echo "man $name failed: $text"; return 1; }
    grep -q "^NAME" <<<"$text" ||
      { printf 'man %s did not render:\n%s\n' "$name" "$text"; return 1; }
  done
}
