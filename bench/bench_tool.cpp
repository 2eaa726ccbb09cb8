// Helper of bench/run-costs:
//   tessera_bench_tool fixtures DIR        writes the fixture files to DIR
//   tessera_bench_tool parse tool|plain FILE
//       parses FILE once with the tool's parser or the plain fgets + sscanf
//       loop; callgrind counts only parse_once (--toggle-collect)
//   tessera_bench_tool time RUNS PROGRAM ARGS...
//       runs the command RUNS times, output to /dev/null, and prints the
//       best wall time in seconds
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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
  std::fputs("usage: see the comment at the top of bench_tool.cpp\n", stderr);
  return 2;
}
