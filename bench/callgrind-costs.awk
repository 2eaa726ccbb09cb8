# Reads one callgrind output file (positions: line, one event: Ir) and
# prints what bench/run-costs needs to split a run into its phases:
#   total COST
#   incl COST FUNCTION        inclusive cost of each function
#   call COST CALLER -> CALLEE  inclusive cost of the calls between two
#   group COST NAME           for each NAME=REGEX of the variable groups
#                             (separated by ";"), the code of the files
#                             whose names match REGEX, inlined wherever it
#                             was, and everything it called
# A group counts each instruction once: the lines of its files, whatever
# function they were inlined into, every line of a function defined in
# them, and the calls made from there to functions defined elsewhere.
#   awk -v groups='conversion=fast_float/;pieces=tool/piece_reader' \
#       -f bench/callgrind-costs.awk callgrind.out
#
# The format: "fl=", "fi=", "fe=" set the source file of the cost lines
# that follow, "fn=" starts a function in that file, "cfi="/"cfl=" and
# "cfn=" name a callee, "calls=" is followed by one line holding the
# call's inclusive cost. Names are given once as "(id) name" and later as
# "(id)".

function named(kind, text,    id, rest) {
  if (text !~ /^\(/) return text
  id = substr(text, 1, index(text, ")"))
  rest = substr(text, length(id) + 2)
  if (rest != "") names[kind, id] = rest
  return names[kind, id]
}

BEGIN {
  in_call = 0
  group_count = split(groups, specs, ";")
  for (g = 1; g <= group_count; ++g) {
    split(specs[g], parts, "=")
    group_name[g] = parts[1]
    group_files[g] = parts[2]
  }
}

/^(fl|fi|fe)=/ { file = named("file", substr($0, 4)); next }
/^fn=/ {
  fn = named("fn", substr($0, 4))
  home[fn] = file
  next
}
/^(cfi|cfl)=/ { callee_file = named("file", substr($0, 5)); next }
/^cfn=/ {
  callee = named("fn", substr($0, 5))
  if (callee_file == "") callee_file = file
  if (!(callee in home)) home[callee] = callee_file
  next
}
/^calls=/ { in_call = 1; next }
/^summary:/ { total = $2; next }
/^([0-9]|\+|-|\*)/ {
  cost = $2 + 0
  for (g = 1; g <= group_count; ++g) {
    if (file !~ group_files[g] && home[fn] !~ group_files[g]) continue
    if (!in_call || home[callee] !~ group_files[g]) grouped[g] += cost
  }
  if (in_call) {
    if (callee != fn) incl[fn] += cost
    calls[fn " -> " callee] += cost
    in_call = 0
    callee_file = ""
  } else {
    incl[fn] += cost
  }
  next
}

END {
  print "total", total
  for (f in incl) print "incl", incl[f], f
  for (c in calls) print "call", calls[c], c
  for (g = 1; g <= group_count; ++g) {
    print "group", grouped[g] + 0, group_name[g]
  }
}
