// Runs the built Tessera as a separate process and collects what it says.
//
// The program is TESSERA_BINARY from the environment if set, else the one
// this build made; TESSERA_WRAPPER, if set, is a command prefix split at
// spaces (a valgrind or qemu invocation, say) put in front of it.
#pragma once

#include <string>
#include <vector>

struct process_result {
  std::string out;  // everything written to standard output
  std::string err;  // everything written to standard error
  int status;       // exit status, or 128 + signal number
};

// args are the arguments after the program name, used unchanged.
process_result run_tool(const std::vector<std::string>& args);

// The same for another program of this build (tessera-open, say).
process_result run_program(const std::string& program,
                           const std::vector<std::string>& args);

// The same with the program's standard output on stdout_fd, an open file
// descriptor of the caller's (a pipe whose reading end is already closed,
// /dev/full opened for writing), instead of collected: out stays empty.
// The caller still owns stdout_fd and closes it.
process_result run_program_with_stdout(const std::string& program,
                                       const std::vector<std::string>& args,
                                       int stdout_fd);

std::string tool_binary();

// The program named by the environment variable if it is set and not
// empty (an installed or cross-built copy), else the one this build made.
std::string binary_from_env(const char* variable, const char* built);
