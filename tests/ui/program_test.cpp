// The program itself, as the desktop or a terminal runs it: the signals that would end it, and a
// display that dies, end it the way the window's own End does, with the port free again and its
// settings put back.
#include "testing/program.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "testing/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds PATIENCE{30};

using vannor::testkit::Program;

// What another program finds at the port.
struct PortState {
  bool opened = false;     // false for a user the exclusive terminal refuses (not for root)
  bool exclusive = false;  // the terminal refuses other opens
  bool locked = false;     // someone holds its flock
  termios settings{};

  bool Taken() const { return exclusive || locked; }
  // Taken and set up for the radio: the lock comes before the line's settings, and a probe
  // between the two sees the port taken at its old speed.
  bool SetUp() const { return Taken() && (!opened || cfgetospeed(&settings) == speed_t{B38400}); }
};

PortState Probe(const std::string& path) {
  PortState state;
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    state.exclusive = errno == EBUSY;
    return state;
  }
  state.opened = true;
  int exclusive = 0;
  state.exclusive = ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
  state.locked = flock(fd, LOCK_EX | LOCK_NB) != 0;
  tcgetattr(fd, &state.settings);
  close(fd);  // the radio's end keeps the terminal, and so its settings, alive
  return state;
}

// The tool's environment: the test's display, a private port folder, no trace, and no leak
// report from the sanitizer builds, whose GTK keeps memory until exit.
std::vector<std::string> ToolEnvironment(const std::string& configHome) {
  std::vector<std::string> env = {"XDG_CONFIG_HOME=" + configHome, "NO_AT_BRIDGE=1",
                                  "GIO_USE_VFS=local", "GDK_BACKEND=x11",
                                  "ASAN_OPTIONS=detect_leaks=0"};
  for (const char* name : {"DISPLAY", "HOME", "PATH", "XAUTHORITY"}) {
    if (const char* value = getenv(name)) env.push_back(std::string(name) + "=" + value);
  }
  return env;
}

class ProgramTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(configHome.Path().empty()); }

  vannor::testkit::TempDir configHome;
};

TEST_F(ProgramTest, EachEndSignalStopsTheLinkAndPutsThePortBack) {
  Program radio({RADIO_SIM_PROGRAM, "--config-home", configHome.Path(), "--com", "1", "--quiet"},
                STDOUT_FILENO, ToolEnvironment(configHome.Path()));
  std::string slave = radio.ReadUntil("/dev/");
  ASSERT_EQ(slave.rfind("/dev/pts/", 0), 0u) << slave;
  slave.pop_back();

  // Settings far from the tool's raw line, as another program might have left them.
  termios cooked = Probe(slave).settings;
  cooked.c_lflag |= ICANON | ECHO;
  ASSERT_EQ(cfsetspeed(&cooked, B9600), 0);
  {
    const int fd = open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &cooked), 0);
    close(fd);
  }
  cooked = Probe(slave).settings;

  // Every signal that would end the program, and the display going away (0): each ends it
  // through the stop sequence.
  for (int signal : {SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, 0}) {
    SCOPED_TRACE(signal == 0 ? "the display died" : strsignal(signal));
    std::vector<std::string> environment = ToolEnvironment(configHome.Path());
    // A display of the tool's own, which this test may kill.
    std::unique_ptr<Program> display;
    if (signal == 0) {
      display = std::make_unique<Program>(
          std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp"});
      std::string number = display->ReadUntil("\n");
      ASSERT_FALSE(number.empty());
      number.pop_back();
      std::erase_if(environment, [](const std::string& e) { return e.rfind("DISPLAY=", 0) == 0; });
      environment.push_back("DISPLAY=:" + number);
    }
    Program tool({VANNOR_PROGRAM}, STDERR_FILENO, environment);
    // The port is taken once the window has started, and the signals are watched before that.
    const Clock::time_point giveUp = Clock::now() + PATIENCE;
    while (!Probe(slave).SetUp() && Clock::now() < giveUp) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const PortState taken = Probe(slave);
    ASSERT_TRUE(taken.Taken());
    if (taken.opened) {
      EXPECT_EQ(cfgetospeed(&taken.settings), speed_t{B38400});
    }

    if (signal == 0) {
      display->Signal(SIGKILL);
      EXPECT_EQ(tool.Wait(), 1);
    } else {
      tool.Signal(signal);
      EXPECT_EQ(tool.Wait(), 0);
    }
    const PortState after = Probe(slave);
    ASSERT_TRUE(after.opened);
    EXPECT_FALSE(after.exclusive);
    EXPECT_FALSE(after.locked);
    EXPECT_EQ(after.settings.c_lflag, cooked.c_lflag);
    EXPECT_EQ(after.settings.c_iflag, cooked.c_iflag);
    EXPECT_EQ(after.settings.c_cflag, cooked.c_cflag);
    EXPECT_EQ(cfgetospeed(&after.settings), speed_t{B9600});
  }
}

TEST_F(ProgramTest, ASignalWhileABoxIsOpenStillEndsTheProgram) {
  // A COM1 that leads nowhere: the window says so in a box, and on standard error just before.
  const std::filesystem::path ports = std::filesystem::path(configHome.Path()) / "vannor/ports";
  std::filesystem::create_directories(ports);
  std::filesystem::create_symlink(configHome.Path() + "/absent-device", ports / "COM1");
  Program tool({VANNOR_PROGRAM}, STDERR_FILENO, ToolEnvironment(configHome.Path()));
  const std::string said = tool.ReadUntil("vannor: COM1 (");
  ASSERT_NE(said.find("vannor: COM1 ("), std::string::npos) << said;
  tool.Signal(SIGTERM);
  EXPECT_EQ(tool.Wait(), 0);
}

}  // namespace
