// A write the system refuses, to a pipe whose reader has gone or past the
// file size limit, raises SIGPIPE or SIGXFSZ, whose default action ends the
// process outside the statuses 0 and 1. Ignored, the write comes back short
// instead, and the program reports it as any other failed write.
#pragma once

// Ignores both signals where the platform has them. Called first thing by
// each program's entry function, before anything is written.
void ignore_write_signals();
