# Sourced by the install and package tests, after they set build and
# source: the example the build made, check_programs to run on it, and
# check_docs for the documentation beside the programs.
example_gtk=$build/example/example.gtk
example_bump=$source/example/example.bump

# Runs the programs in BIN on the example, from DIR, away from the build
# tree: seals it, opens the sealed file and seals what tessera-open printed
# again, which must give the same bytes.
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
  # A damaged file is refused in the installed program's words too: one
  # byte more than the table allows.
  { cat "$dir/example.qel"; printf x; } > "$dir/extended.qel"
  out=$("$bin/tessera-open" "$example_gtk" "$dir/extended.qel") && {
    echo "tessera-open accepted an extended qel file"; return 1; }
  [ "$out" = "Incorrect size of $dir/extended.qel" ] ||
    { echo "unexpected message: $out"; return 1; }
}

# The documentation in DOC: the README as shipped, and the copyright file in
# Debian's machine-readable format holding LICENSE's copyright holder and
# its whole licence text (one space in front of each line, " ." for an
# empty one).
#   check_docs DOC
check_docs() {
  local doc=$1 holder
  cmp "$source/README.md" "$doc/README.md" || return 1
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
