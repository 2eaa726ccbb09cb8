// Runs the built Tessera as a separate process and collects what it says.
//
// The program is TESSERA_BINARY from the environment if set, else the one
// this build made; TESSERA_WRAPPER, if set, is a command prefix split at
// spaces (a valgrind or qemu invocation, say) put in front of it. Whatever
// the options set up for the child holds for the wrapper too, since the
// wrapper is the process started.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct process_result {
  std::string out;  // everything written to standard output
  std::string err;  // everything written to standard error
  int status;       // exit status, or 128 + signal number
};

// Where the child's standard output goes.
enum class child_output {
  captured,   // into process_result::out
  to_file,    // into process_options::output_file, created or truncated
  dead_pipe,  // a pipe whose reader closed before the child started
};

// How the child is started beyond its arguments; the defaults change
// nothing.
struct process_options {
  // The child's working directory, empty for this process's own. A program
  // named by a relative path is found from this process's directory.
  std::string working_dir;
  // RLIMIT_FSIZE for the child, in bytes: a write past it raises SIGXFSZ.
  std::optional<std::uint64_t> file_size_limit;
  child_output output = child_output::captured;
  std::string output_file;
  // A reader, this process's, on a pipe or FIFO that the child writes to:
  // it is closed as soon as anything can be read from it, so the reader
  // leaves right after the child's first bytes arrived. It is closed in the
  // child, and in any case before the call returns.
  int leaving_reader = -1;
};

// args are the arguments after the program name, used unchanged.
process_result run_tool(const std::vector<std::string>& args,
                        const process_options& options = {});

// The same for another program of this build (tessera-open, say).
process_result run_program(const std::string& program,
                           const std::vector<std::string>& args,
                           const process_options& options = {});

std::string tool_binary();

// Whether TESSERA_WRAPPER puts a command in front of every program run.
bool wrapped();

// A file size limit binds the wrapper as well, and valgrind writes files of
// its own before the program starts (its command line and auxiliary vector,
// a few hundred bytes): a smaller limit ends valgrind, not the program, so
// tests try limits below this one only without a wrapper.
constexpr std::uint64_t wrapper_file_room = 4096;

// The program named by the environment variable if it is set and not
// empty (an installed or cross-built copy), else the one this build made.
std::string binary_from_env(const char* variable, const char* built);
