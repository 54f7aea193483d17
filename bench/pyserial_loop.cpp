#include "bench/pyserial_loop.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

extern char** environ;

namespace vannor::bench {

namespace {

// Debian's interpreter, the one python3-serial is installed for: a python3 found earlier on the
// PATH (a pyenv one, say) would not see it.
constexpr const char* PYTHON = "/usr/bin/python3";
// The script's exit status when pyserial cannot be imported.
constexpr int NO_PYSERIAL = 3;

// Everything the child writes to standard output: one line with a number.
std::string ReadAll(int fd) {
  std::string text;
  char buffer[256];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) {
      text.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      return text;  // end of output, or a broken pipe that the exit status will explain
    }
  }
}

}  // namespace

ChildLoop PyserialLoop(const std::string& device, const std::string& imagePath) {
  ChildLoop loop;
  if (access(PYTHON, X_OK) != 0) {
    loop.status = ChildLoop::Status::Missing;
    return loop;
  }
  if (access(VANNOR_PYSERIAL_LOOP, R_OK) != 0) {
    fprintf(stderr, "vannor-bench: %s is gone; rebuild from the source tree\n",
            VANNOR_PYSERIAL_LOOP);
    return loop;
  }
  int output[2];
  if (pipe2(output, O_CLOEXEC) != 0) return loop;
  posix_spawn_file_actions_t actions;
  // Fail only for want of memory; then the spawn below fails and says so.
  (void)posix_spawn_file_actions_init(&actions);
  (void)posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  // -I: nothing from the environment or the working folder (which may hold our own serial/).
  const char* argv[] = {PYTHON, "-I", VANNOR_PYSERIAL_LOOP, device.c_str(), imagePath.c_str(),
                        nullptr};
  pid_t child = -1;
  const int spawned =
      posix_spawn(&child, PYTHON, &actions, nullptr, const_cast<char**>(argv), environ);
  (void)posix_spawn_file_actions_destroy(&actions);  // cannot fail for an initialised object
  (void)close(output[1]);  // the child has its own copy; ours would keep the pipe from ending
  if (spawned != 0) {
    (void)close(output[0]);  // nothing was written into it
    return loop;
  }
  const std::string text = ReadAll(output[0]);
  (void)close(output[0]);  // read to its end
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return loop;
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == NO_PYSERIAL) {
    loop.status = ChildLoop::Status::Missing;
    return loop;
  }
  // "<wall ns> <cpu ns>"
  char* end = nullptr;
  const long long took = std::strtoll(text.c_str(), &end, 10);
  const char* cpuText = end;
  const long long cpu = std::strtoll(cpuText, &end, 10);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || end == cpuText || took <= 0 || cpu < 0) {
    return loop;
  }
  loop.status = ChildLoop::Status::Done;
  loop.took = std::chrono::nanoseconds(took);
  loop.cpu = std::chrono::nanoseconds(cpu);
  return loop;
}

}  // namespace vannor::bench
