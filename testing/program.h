// Runs a program of the project as a person would and reads what it says.
// - Program: one output (1 or 2) on a pipe, read line by line while it runs, for programs that
//   are talked to, signalled and waited for.
// - RunProgram: runs to the end with both outputs caught, for commands whose whole answer counts.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "testing/temp_dir.h"

namespace vannor::testkit {

// How long a program may take to say something or to end before a test counts it as hung.
inline constexpr std::chrono::seconds PROGRAM_PATIENCE{30};

class Program {
 public:
  // arguments[0] is the program. Without `environment` it inherits the test's.
  Program(std::vector<std::string> arguments, int output = STDOUT_FILENO,
          std::vector<std::string> environment = {}) {
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], output);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(),
                    environment.empty() ? environ : envp.data()) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    out_ = pipeFds[0];
  }
  ~Program() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // The next line of output (without its end); empty at the end of output or after PATIENCE.
  std::string Line() {
    const std::size_t end = FillUntil([this] { return pending_.find('\n'); });
    std::string line = pending_.substr(0, end);
    pending_.erase(0, end == std::string::npos ? end : end + 1);
    return line;
  }
  // The output up to and including the first line that contains `text`; all of it so far when
  // it never comes.
  std::string ReadUntil(const std::string& text) {
    const std::size_t end = FillUntil([&] {
      const std::size_t at = pending_.find(text);
      return at == std::string::npos ? at : pending_.find('\n', at);
    });
    std::string upTo = pending_.substr(0, end == std::string::npos ? end : end + 1);
    pending_.erase(0, upTo.size());
    return upTo;
  }
  // All the output still to come, until the program closes it.
  std::string Rest() {
    FillUntil([] { return std::string::npos; });
    std::string all;
    all.swap(pending_);
    return all;
  }

  void Signal(int signal) const {
    if (pid_ > 0) kill(pid_, signal);
  }
  // The exit status; -1 when the program was ended by a signal or did not end within PATIENCE.
  int Wait() {
    const auto giveUp = std::chrono::steady_clock::now() + PROGRAM_PATIENCE;
    int status = 0;
    while (pid_ > 0 && waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > giveUp) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const bool ran = pid_ > 0;
    pid_ = -1;
    return ran && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  // Reads until found() gives a position, the output ends or PATIENCE runs out.
  template <typename Found>
  std::size_t FillUntil(Found found) {
    const auto giveUp = std::chrono::steady_clock::now() + PROGRAM_PATIENCE;
    for (;;) {
      const std::size_t at = found();
      if (at != std::string::npos) return at;
      pollfd ready = {out_, POLLIN, 0};
      if (std::chrono::steady_clock::now() > giveUp || poll(&ready, 1, 100) < 0) return at;
      if (ready.revents == 0) continue;
      char buffer[512];
      const ssize_t n = read(out_, buffer, sizeof buffer);
      if (n <= 0) return at;
      pending_.append(buffer, static_cast<std::size_t>(n));
    }
  }

  pid_t pid_ = -1;
  int out_ = -1;
  std::string pending_;
};

struct ProgramResult {
  int exitCode = -1;  // -1 when it did not start or did not exit normally
  std::string out;
  std::string err;
};

// What a hostile caller does to the program's standard streams.
struct ProgramSetup {
  bool closeStderr = false;  // started with 2>&-
  std::string stdoutPath;    // standard output goes here (/dev/full) instead of being caught
  std::string stderrPath = {};  // the same for standard error
};

// Runs the program to its end with its standard output and error caught in files.
inline ProgramResult RunProgram(const std::string& program, std::vector<std::string> arguments,
                                const ProgramSetup& setup = {}) {
  TempDir folder;
  const std::string out = folder.Path() + "/out";
  const std::string err = folder.Path() + "/err";
  arguments.insert(arguments.begin(), program);
  std::vector<char*> argv;
  for (std::string& a : arguments) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(
      &actions, 1, setup.stdoutPath.empty() ? out.c_str() : setup.stdoutPath.c_str(),
      O_WRONLY | O_CREAT, 0600);
  if (setup.closeStderr) {
    posix_spawn_file_actions_addclose(&actions, 2);
  } else {
    posix_spawn_file_actions_addopen(
        &actions, 2, setup.stderrPath.empty() ? err.c_str() : setup.stderrPath.c_str(),
        O_WRONLY | O_CREAT, 0600);
  }
  pid_t pid = -1;
  ProgramResult result;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  auto read = [](const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
  };
  result.out = read(out);
  result.err = read(err);
  return result;
}

}  // namespace vannor::testkit
