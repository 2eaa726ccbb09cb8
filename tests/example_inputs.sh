# Sourced by the install and package tests: sets example_gtk and
# example_bump to the example the build made (BUILD/example/example.gtk and
# SOURCE/example/example.bump), or, where the build has none, to a small
# table and bump file that FIXTURE writes into DIR under the configured keys.
#   example_inputs BUILD SOURCE FIXTURE DIR
example_inputs() {
  if [ -f "$1/example/example.gtk" ] && [ -f "$2/example/example.bump" ]; then
    example_gtk=$1/example/example.gtk
    example_bump=$2/example/example.bump
  else
    example_gtk=$4/fixture.gtk
    example_bump=$4/fixture.bump
    "$3" "$example_gtk" "$example_bump"
  fi
}

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
  # A foreign table is refused in the installed program's words too.
  out=$("$bin/tessera-open" "$example_gtk" "$dir/opened.bump") && {
    echo "tessera-open accepted a bump file as a qel file"; return 1; }
  [ "$out" = "Incorrect size of $dir/opened.bump" ] ||
    { echo "unexpected message: $out"; return 1; }
}
