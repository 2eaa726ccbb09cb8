#include "process.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <stdexcept>

std::string binary_from_env(const char* variable, const char* built) {
  const char* from_env = std::getenv(variable);
  return from_env != nullptr && *from_env != '\0' ? from_env : built;
}

std::string tool_binary() {
  return binary_from_env("TESSERA_BINARY", TESSERA_BINARY_PATH);
}

process_result run_tool(const std::vector<std::string>& args) {
  return run_program(tool_binary(), args);
}

process_result run_program(const std::string& program,
                           const std::vector<std::string>& args) {
  return run_program_with_stdout(program, args, -1);
}

// stdout_fd -1: standard output is collected like standard error.
process_result run_program_with_stdout(const std::string& program,
                                       const std::vector<std::string>& args,
                                       int stdout_fd) {
  std::vector<std::string> command;
  if (const char* wrapper = std::getenv("TESSERA_WRAPPER")) {
    std::istringstream words(wrapper);
    for (std::string word; words >> word;) command.push_back(word);
  }
  command.push_back(program);
  command.insert(command.end(), args.begin(), args.end());

  std::vector<char*> argv;
  for (std::string& word : command) argv.push_back(word.data());
  argv.push_back(nullptr);

  int out_pipe[2];
  int err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) {
    throw std::runtime_error("pipe failed");
  }
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    dup2(stdout_fd >= 0 ? stdout_fd : out_pipe[1], STDOUT_FILENO);
    if (stdout_fd > STDERR_FILENO) close(stdout_fd);
    dup2(err_pipe[1], STDERR_FILENO);
    close(out_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[0]);
    close(err_pipe[1]);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);

  process_result result{{}, {}, -1};
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open_pipes = 2;
  while (open_pipes > 0) {
    if (poll(fds, 2, -1) < 0) throw std::runtime_error("poll failed");
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
  int status = 0;
  waitpid(child, &status, 0);
  result.status =
      WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}
