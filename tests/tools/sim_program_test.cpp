// vannor-radio-sim as a person runs it: help, the printed path, the link, and a clean end on
// SIGINT and SIGTERM.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testing/temp_dir.h"
#include "tests/tools/line_client.h"

namespace {

namespace fs = std::filesystem;
using vannor::sim::testing::LineClient;
using TempFolder = vannor::testkit::TempDir;

// The program running with its standard output on a pipe.
class Program {
 public:
  explicit Program(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), RADIO_SIM_PROGRAM);
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    out_ = pipeFds[0];
  }
  ~Program() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      Wait();
    }
    if (out_ >= 0) close(out_);
  }

  // The next line of output, waiting at most 10 s; empty at the end of output.
  std::string Line() {
    std::string line;
    for (;;) {
      const std::size_t end = pending_.find('\n');
      if (end != std::string::npos) {
        line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        return line;
      }
      pollfd ready = {out_, POLLIN, 0};
      char buffer[256];
      if (poll(&ready, 1, 10000) <= 0) return line;
      const ssize_t n = read(out_, buffer, sizeof buffer);
      if (n <= 0) return line;
      pending_.append(buffer, static_cast<std::size_t>(n));
    }
  }
  // All the output still to come, until the program closes it (10 s at most).
  std::string Rest() {
    for (;;) {
      pollfd ready = {out_, POLLIN, 0};
      char buffer[256];
      if (poll(&ready, 1, 10000) <= 0) break;
      const ssize_t n = read(out_, buffer, sizeof buffer);
      if (n <= 0) break;
      pending_.append(buffer, static_cast<std::size_t>(n));
    }
    std::string all;
    all.swap(pending_);
    return all;
  }

  void Signal(int signal) { kill(pid_, signal); }
  // The exit status, or -1 when the program did not exit normally.
  int Wait() {
    int status = 0;
    const pid_t ended = waitpid(pid_, &status, 0);
    pid_ = -1;
    return ended > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string pending_;
};

TEST(SimProgram, HelpNamesEveryFaultAndUsageErrorsExitWithTwo) {
  Program help({"--help"});
  const std::string text = help.Rest();
  EXPECT_EQ(help.Wait(), 0);
  for (const char* option : {"--first-ack", "--second-ack", "--garbage", "--wrong-echo-at",
                             "--silent-from", "--hang-up-at", "--delay-us", "--pace", "--length",
                             "--idle-ms", "--config-home", "--com", "SIGTERM"}) {
    EXPECT_NE(text.find(option), std::string::npos) << option;
  }
  Program wrong({"--no-such-option"});
  EXPECT_EQ(wrong.Rest(), "");
  EXPECT_EQ(wrong.Wait(), 2);
}

TEST(SimProgram, PrintsTheSlaveLinksTheComPortAndCleansUpOnEitherSignal) {
  for (int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    TempFolder home;
    Program radio({"--config-home", home.Path(), "--com", "3", "--dsp-version", "9.8.7.6"});
    const std::string slave = radio.Line();
    ASSERT_EQ(slave.rfind("/dev/pts/", 0), 0u) << slave;
    const std::string link = home.Path() + "/vannor/ports/COM3";
    EXPECT_EQ(radio.Line(), "COM3 -> " + link);
    ASSERT_EQ(fs::read_symlink(link), slave);

    {
      LineClient client(link);
      ASSERT_TRUE(client.Ok());
      ASSERT_TRUE(client.Send({0x56}));
      EXPECT_EQ(client.Receive(4), (std::vector<std::uint8_t>{9, 8, 7, 6}));
    }
    EXPECT_EQ(radio.Line(), "version read answered (1 so far)");
    radio.Signal(signal);
    EXPECT_EQ(radio.Rest(), "stopped\n");
    EXPECT_EQ(radio.Wait(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
  }
}

TEST(SimProgram, APlayedHangUpEndsTheProgramAndItsLink) {
  TempFolder home;
  Program radio({"--config-home", home.Path(), "--hang-up-at", "1", "--quiet"});
  const std::string slave = radio.Line();
  LineClient client(slave);
  ASSERT_TRUE(client.Ok());
  ASSERT_TRUE(client.Send({0x57, 0x01}));
  ASSERT_EQ(client.Receive(1), std::vector<std::uint8_t>{0x06});
  ASSERT_TRUE(client.Send({0x05}));
  ASSERT_EQ(client.Receive(1), std::vector<std::uint8_t>{0x06});
  ASSERT_EQ(client.EchoEach({0xAA}), std::vector<std::uint8_t>{0xAA});
  ASSERT_TRUE(client.Send({0xBB}));
  EXPECT_TRUE(client.Receive(1).empty());
  EXPECT_TRUE(client.Gone());
  EXPECT_EQ(radio.Rest(), "");
  EXPECT_EQ(radio.Wait(), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(home.Path() + "/vannor/ports/COM1")));
}

}  // namespace
