// Helper of bench/run-costs:
//   tessera_bench_tool fixtures DIR        writes the fixture files to DIR
//   tessera_bench_tool parse tool|plain FILE
//       parses FILE once with the tool's parser or the plain fgets + sscanf
//       loop; callgrind counts only parse_once (--toggle-collect)
//   tessera_bench_tool time RUNS PROGRAM ARGS...
//       runs the command RUNS times, output to /dev/null, and prints the
//       best wall time in seconds
//   tessera_bench_tool steps LO HI PROGRAM ARGS...
//       runs PROGRAM (a path) single-stepped under ptrace, output to
//       /dev/null, and prints the instructions it executed in all and those
//       at addresses LO to HI - 1 of PROGRAM (hexadecimal, as nm prints
//       them). This counts code callgrind cannot run (AVX-512) exactly, on
//       the processor itself.
#include <fcntl.h>
#include <sys/ptrace.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bump_reference.h"
#include "fixtures.h"
#include "tool/bump_parser.h"
#include "tool/storage.h"

namespace {

int write_fixtures(const std::string& dir) {
  const auto values = bench_numbers(value_capacity);
  write_bytes(dir + "/table-4098.gtk", make_gtk(bench_entries(value_capacity)));
  write_bytes(dir + "/values-4098-lines.bump", bump_one_per_line(values));
  write_bytes(dir + "/values-4098-line.bump", bump_all_on_one_line(values));
  write_bytes(dir + "/values-4098-9g-lines.bump",
              bump_one_per_line(printed_numbers(value_capacity, 1000, "%.9g")));
  write_bytes(dir + "/values-4098-3g-line.bump",
              bump_all_on_one_line(printed_numbers(value_capacity, 9, "%.3g")));
  write_bytes(dir + "/table-0.gtk", make_gtk({}));
  write_bytes(dir + "/empty.bump", std::string());
  return 0;
}

[[gnu::noinline]] bump_outcome parse_once(bool tool, std::FILE* file,
                                          std::uint8_t* values,
                                          std::uint8_t* line) {
  return tool ? parse_bump_stream(file, value_capacity, values, line)
              : reference_parse_bump_stream(file, value_capacity, values, line);
}

int parse(const std::string& method, const char* path) {
  std::uint8_t line_area[line_size];
  std::uint8_t value_table[value_table_size];
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr) return 2;
  const bump_outcome outcome =
      parse_once(method == "tool", file, value_table, line_area);
  std::fclose(file);
  return outcome == bump_outcome::ok ? 0 : 1;
}

double run_once(char** argv) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    execvp(argv[0], argv);
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  const std::chrono::duration<double> took =
      std::chrono::steady_clock::now() - start;
  return took.count();
}

int best_time(int runs, char** argv) {
  double best = 1e30;
  for (int n = 0; n < runs; ++n) {
    const double t = run_once(argv);
    if (t < best) best = t;
  }
  std::printf("%.6f\n", best);
  return 0;
}

// Where the child mapped the start of program, from its /proc maps.
std::uint64_t load_address(pid_t child, const char* program) {
  char wanted[PATH_MAX];
  if (realpath(program, wanted) == nullptr) return 0;
  const std::string maps = "/proc/" + std::to_string(child) + "/maps";
  std::FILE* file = std::fopen(maps.c_str(), "r");
  if (file == nullptr) return 0;
  std::uint64_t found = 0;
  char line[PATH_MAX + 128];
  while (found == 0 && std::fgets(line, sizeof line, file) != nullptr) {
    unsigned long long start = 0;
    unsigned long long offset = 0;
    char path[PATH_MAX] = "";
    if (std::sscanf(line, "%llx-%*x %*s %llx %*s %*s %4095s", &start, &offset,
                    path) == 3 &&
        offset == 0 && std::strcmp(path, wanted) == 0) {
      found = start;
    }
  }
  std::fclose(file);
  return found;
}

int count_steps(std::uint64_t lo, std::uint64_t hi, char** argv) {
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    execv(argv[0], argv);
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);  // stopped at the exec
  if (!WIFSTOPPED(status)) return 1;
  const std::uint64_t base = load_address(child, argv[0]);
  if (base == 0) {
    std::fprintf(stderr, "%s is not mapped in the child\n", argv[0]);
    kill(child, SIGKILL);
    return 1;
  }
  const auto rip_at = static_cast<long>(offsetof(user_regs_struct, rip));
  std::uint64_t all = 0;
  std::uint64_t inside = 0;
  int pass_signal = 0;
  for (;;) {
    const auto rip = static_cast<std::uint64_t>(ptrace(
        PTRACE_PEEKUSER, child, reinterpret_cast<void*>(rip_at), nullptr));
    ++all;
    if (rip - base >= lo && rip - base < hi) ++inside;
    ptrace(PTRACE_SINGLESTEP, child, nullptr,
           reinterpret_cast<void*>(static_cast<long>(pass_signal)));
    waitpid(child, &status, 0);
    if (WIFEXITED(status) || WIFSIGNALED(status)) break;
    pass_signal = WSTOPSIG(status) == SIGTRAP ? 0 : WSTOPSIG(status);
  }
  std::printf("%llu %llu\n", static_cast<unsigned long long>(all),
              static_cast<unsigned long long>(inside));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "fixtures") == 0) {
    return write_fixtures(argv[2]);
  }
  if (argc == 4 && std::strcmp(argv[1], "parse") == 0) {
    return parse(argv[2], argv[3]);
  }
  if (argc >= 4 && std::strcmp(argv[1], "time") == 0) {
    return best_time(std::atoi(argv[2]), argv + 3);
  }
  if (argc >= 5 && std::strcmp(argv[1], "steps") == 0) {
    return count_steps(std::strtoull(argv[2], nullptr, 16),
                       std::strtoull(argv[3], nullptr, 16), argv + 4);
  }
  std::fputs("usage: see the comment at the top of bench_tool.cpp\n", stderr);
  return 2;
}
