// Runs a program of the project as a person would, with its standard output and error caught in
// files, and tells how it ended.
#pragma once

#include <fcntl.h>
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

struct ProgramResult {
  int exitCode = -1;  // -1 when it did not start or did not exit normally
  std::string out;
  std::string err;
};

class ProgramRun {
 public:
  ProgramRun(const std::string& program, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), program);
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, OutPath().c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, ErrPath().c_str(), O_WRONLY | O_CREAT, 0600);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~ProgramRun() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;

  void Signal(int signal) const {
    if (pid_ > 0) kill(pid_, signal);
  }
  // Waits for the end and returns what the program said.
  ProgramResult Wait() {
    ProgramResult result;
    int status = 0;
    if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status)) {
      result.exitCode = WEXITSTATUS(status);
    }
    pid_ = -1;
    result.out = Read(OutPath());
    result.err = Read(ErrPath());
    return result;
  }
  // What the program has written to standard error so far.
  std::string ErrSoFar() const { return Read(ErrPath()); }

 private:
  std::string OutPath() const { return folder_.Path() + "/out"; }
  std::string ErrPath() const { return folder_.Path() + "/err"; }
  static std::string Read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  TempDir folder_;
  pid_t pid_ = -1;
};

inline ProgramResult RunProgram(const std::string& program, std::vector<std::string> arguments) {
  ProgramRun run(program, std::move(arguments));
  return run.Wait();
}

}  // namespace vannor::testkit
