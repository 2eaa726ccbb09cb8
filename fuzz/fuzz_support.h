// Helpers shared by the fuzz harnesses: a private directory for the files a
// harness writes, standard output captured per call, and a check that stops
// the fuzzer with a message when a harness's assertion fails.
//
// The harnesses may use the heap; only the tool's own run may not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A fresh directory, made on first use and removed at exit.
const std::string& fuzz_dir();

// Writes size bytes to path, replacing any earlier file; stops on failure.
void write_bytes(const std::string& path, const std::uint8_t* data,
                 std::size_t size);
std::vector<std::uint8_t> read_bytes(const std::string& path);
bool file_exists(const std::string& path);

// Standard output goes to a file in fuzz_dir from the first call on, so the
// harness can read back what one call printed without the cost of a
// terminal. begin_capture forgets what was printed before.
void begin_capture();
std::string end_capture();

// One of Tessera's messages with path in place of its %s.
std::string message_for(const char* format, const std::string& path);

// Prints what went wrong and aborts, which libFuzzer reports as a crash and
// keeps the input that caused it.
[[noreturn]] void fuzz_fail(const char* what, const std::string& detail = {});
inline void fuzz_check(bool holds, const char* what,
                       const std::string& detail = {}) {
  if (!holds) fuzz_fail(what, detail);
}
