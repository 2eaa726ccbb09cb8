# Reads one callgrind output file (positions: line, one event: Ir) and
# prints what bench/run-costs needs to split a run into its phases:
#   total COST
#   incl COST FUNCTION        inclusive cost of each function
#   call COST CALLER -> CALLEE  inclusive cost of the calls between two
#   group COST                the code of the files matching the variable
#                             group (an awk regular expression), inlined
#                             wherever it was, and everything it called
# The group counts each instruction once: the lines of its files, whatever
# function they were inlined into, every line of a function defined in
# them, and the calls made from there to functions defined elsewhere.
#   awk -v group='fast_float/' -f bench/callgrind-costs.awk callgrind.out
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

BEGIN { in_call = 0 }

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
  in_group = group != "" && (file ~ group || home[fn] ~ group)
  if (in_call) {
    if (callee != fn) incl[fn] += cost
    calls[fn " -> " callee] += cost
    if (in_group && home[callee] !~ group) grouped += cost
    in_call = 0
    callee_file = ""
  } else {
    incl[fn] += cost
    if (in_group) grouped += cost
  }
  next
}

END {
  print "total", total
  for (f in incl) print "incl", incl[f], f
  for (c in calls) print "call", calls[c], c
  print "group", grouped + 0
}
