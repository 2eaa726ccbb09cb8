// The entry function of tessera-table: tessera-table gtk_file.
//
// Reads the entry table of gtk_file exactly as Tessera does (same checks,
// same messages) and prints what it holds to standard output:
//
//   entry_count N
//   0 <entry_kind> <entry_key>
//   ...
//
// one line per entry in table order after the first: the index from 0, the
// entry_kind as an unsigned decimal and the entry_key as 8 lowercase hex
// digits. So the first line names how many values a bump file for this
// table must hold, and which entry takes which key follows.
//
// A failure prints one line to standard output; the return value is the exit
// status: 0 when every line reached standard output, 1 otherwise (with no
// message when it is standard output that fails). No file is ever written.
#pragma once

int run_table(int argc, const char* const* argv);
