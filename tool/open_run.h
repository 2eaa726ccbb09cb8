// The entry function of tessera-open: tessera-open gtk_file qel_file.
//
// Reads the entry keys from gtk_file exactly as Tessera does (same checks,
// same messages), forms sealing_key the same way, opens qel_file with it and,
// when every check holds, prints the sealed values to standard output, one
// per line, in bump-file order. The text is a bump file that Tessera reads
// back to the same bits for every value that is not a NaN.
//
// Each failure prints one line to standard output; the return value is the
// exit status: 0 when every value reached standard output, 1 otherwise. No
// file is ever written.
#pragma once

int run_open(int argc, const char* const* argv);
