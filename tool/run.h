// The entry function: Tessera gtk_file bump_file qel_file.
//
// Reads the entry keys from gtk_file, digests them into the second half of
// the static sealing key area (its first half is key_prefix), reads exactly
// as many floats from bump_file, digests them, and writes the sealed
// qel_file. Each failure prints one line to standard output; the return
// value is the exit status, 0 on success and 1 otherwise. qel_file is
// created only after both inputs were read whole and found valid, and never
// when it names the same regular file as either input, by whatever path or
// link: that run fails with "Couldn't open", so no input file is written.
#pragma once

#include <cstddef>

#include "sealing_key.h"

constexpr int run_succeeded = 0;
constexpr int run_failed = 1;

int run_tessera(int argc, const char* const* argv);
