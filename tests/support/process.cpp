#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>

std::string binary_from_env(const char* variable, const char* built) {
  const char* from_env = std::getenv(variable);
  return from_env != nullptr && *from_env != '\0' ? from_env : built;
}

std::string tool_binary() {
  return binary_from_env("TESSERA_BINARY", TESSERA_BINARY_PATH);
}

bool wrapped() {
  const char* wrapper = std::getenv("TESSERA_WRAPPER");
  return wrapper != nullptr &&
         std::string(wrapper).find_first_not_of(' ') != std::string::npos;
}

process_result run_tool(const std::vector<std::string>& args,
                        const process_options& options) {
  return run_program(tool_binary(), args, options);
}

namespace {

// In the child, between fork and exec: only calls that are safe there.
[[noreturn]] void start_child(char* const* argv, int out_fd, int err_fd,
                              const process_options& options) {
  if (dup2(out_fd, STDOUT_FILENO) < 0 || dup2(err_fd, STDERR_FILENO) < 0) {
    _exit(127);
  }
  if (out_fd != STDOUT_FILENO) close(out_fd);
  if (err_fd != STDERR_FILENO) close(err_fd);
  if (options.leaving_reader >= 0) close(options.leaving_reader);
  if (!options.working_dir.empty() && chdir(options.working_dir.c_str()) != 0) {
    _exit(127);
  }
  if (options.file_size_limit) {
    const rlimit limit{static_cast<rlim_t>(*options.file_size_limit),
                       static_cast<rlim_t>(*options.file_size_limit)};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(127);
  }
  execvp(argv[0], argv);
  _exit(127);
}

}  // namespace

process_result run_program(const std::string& program,
                           const std::vector<std::string>& args,
                           const process_options& options) {
  std::vector<std::string> command;
  if (const char* wrapper = std::getenv("TESSERA_WRAPPER")) {
    std::istringstream words(wrapper);
    for (std::string word; words >> word;) command.push_back(word);
  }
  // The child may start elsewhere: a relative path with a directory in it
  // is taken from here, a bare name is still looked up on the PATH.
  command.push_back(program.find('/') == std::string::npos
                        ? program
                        : std::filesystem::absolute(program).string());
  command.insert(command.end(), args.begin(), args.end());

  std::vector<char*> argv;
  for (std::string& word : command) argv.push_back(word.data());
  argv.push_back(nullptr);

  int out_pipe[2];
  int err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) {
    throw std::runtime_error("pipe failed");
  }
  int child_out = out_pipe[1];
  if (options.output == child_output::dead_pipe) {
    close(out_pipe[0]);
    out_pipe[0] = -1;
  } else if (options.output == child_output::to_file) {
    close(out_pipe[0]);
    close(out_pipe[1]);
    out_pipe[0] = -1;
    child_out = open(options.output_file.c_str(),
                     O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (child_out < 0) {
      throw std::runtime_error("cannot create " + options.output_file);
    }
  }

  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    if (out_pipe[0] >= 0) close(out_pipe[0]);
    close(err_pipe[0]);
    start_child(argv.data(), child_out, err_pipe[1], options);
  }
  close(child_out);
  close(err_pipe[1]);

  // Standard output and error are read until the child has closed both;
  // the leaving reader is watched alongside and closed at its first byte.
  process_result result{{}, {}, -1};
  pollfd fds[3] = {{out_pipe[0], POLLIN, 0},
                   {err_pipe[0], POLLIN, 0},
                   {options.leaving_reader, POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open_pipes = out_pipe[0] >= 0 ? 2 : 1;
  while (open_pipes > 0) {
    if (poll(fds, 3, -1) < 0) throw std::runtime_error("poll failed");
    if (fds[2].fd >= 0 && fds[2].revents != 0) {
      close(fds[2].fd);
      fds[2].fd = -1;
    }
    for (int n = 0; n < 2; ++n) {
      if (fds[n].fd < 0 || fds[n].revents == 0) continue;
      char buffer[4096];
      const ssize_t got = read(fds[n].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[n]->append(buffer, static_cast<std::size_t>(got));
      } else {
        close(fds[n].fd);
        fds[n].fd = -1;
        --open_pipes;
      }
    }
  }
  if (fds[2].fd >= 0) close(fds[2].fd);
  int status = 0;
  waitpid(child, &status, 0);
  result.status =
      WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}
