# Sourced by the install and package tests, after they set build and
# source: the example the build made, and check_programs to run on it.
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
