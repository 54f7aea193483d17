// Opening, configuring and using one port on real pseudo-terminals.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <termios.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "testing/counting_target.h"
#include "tests/serial/serial_test_support.h"

namespace vannor::test {

// What the port asked of the driver beyond the terminal settings: each raise of RTS, with the
// line's speed and mode at that moment, and, while `answers`, the serial flags of a UART.
struct DriverRequests {
  struct RtsRaise {
    speed_t speed;
    bool canonical;
  };
  std::vector<RtsRaise> rtsRaises;
  bool answers = false;  // TIOCGSERIAL and TIOCSSERIAL answered as a UART's driver does
  int serialFlags = 0;
  // While set: every terminal is the kernel's ttyS9, and its receive trigger is this file.
  std::string rxTrigger;
};
DriverRequests& Driver() {
  static DriverRequests requests;
  return requests;
}

}  // namespace vannor::test

// Sees the port's requests to the driver on their way to the C library (a pseudo-terminal has
// no modem lines and no serial flags to show them); other requests go on unchanged.
extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
  va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  vannor::test::DriverRequests& driver = vannor::test::Driver();
  if (request == TIOCMBIS && argument != nullptr &&
      (*static_cast<const int*>(argument) & TIOCM_RTS) != 0) {
    termios now{};
    if (tcgetattr(fd, &now) == 0) {
      driver.rtsRaises.push_back({cfgetospeed(&now), (now.c_lflag & ICANON) != 0});
    }
  }
  if (driver.answers && (request == TIOCGSERIAL || request == TIOCSSERIAL)) {
    auto* serial = static_cast<serial_struct*>(argument);
    if (request == TIOCGSERIAL) {
      *serial = serial_struct{};
      serial->type = PORT_16550A;
      serial->flags = driver.serialFlags;
    } else {
      driver.serialFlags = serial->flags;
    }
    return 0;
  }
  using Ioctl = int (*)(int, unsigned long, void*);
  static const auto next = reinterpret_cast<Ioctl>(dlsym(RTLD_NEXT, "ioctl"));
  return next(fd, request, argument);
}

// The kernel's name of a terminal and its sysfs attribute, as the UART ttyS9 has them.
extern "C" ssize_t readlink(const char* path, char* target, std::size_t size) noexcept {
  using Readlink = ssize_t (*)(const char*, char*, std::size_t);
  static const auto next = reinterpret_cast<Readlink>(dlsym(RTLD_NEXT, "readlink"));
  const std::string_view uart = "../../devices/platform/serial8250/tty/ttyS9";
  if (!vannor::test::Driver().rxTrigger.empty() &&
      std::string_view(path).starts_with("/sys/dev/char/") &&
      std::string_view(path).find('/', 14) == std::string_view::npos && size >= uart.size()) {
    std::memcpy(target, uart.data(), uart.size());
    return static_cast<ssize_t>(uart.size());
  }
  return next(path, target, size);
}

extern "C" int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list arguments;
    va_start(arguments, flags);
    mode = va_arg(arguments, mode_t);
    va_end(arguments);
  }
  using Open = int (*)(const char*, int, ...);
  static const auto next = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "open"));
  const std::string& rxTrigger = vannor::test::Driver().rxTrigger;
  if (!rxTrigger.empty() && std::string_view(path) == "/sys/class/tty/ttyS9/rx_trig_bytes") {
    return next(rxTrigger.c_str(), flags, mode);
  }
  return next(path, flags, mode);
}

namespace vannor::test {
namespace {

std::string Contents(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The settings a program may care about, field by field for a readable failure.
void ExpectSameSettings(const termios& actual, const termios& expected) {
  EXPECT_EQ(actual.c_iflag, expected.c_iflag);
  EXPECT_EQ(actual.c_oflag, expected.c_oflag);
  EXPECT_EQ(actual.c_cflag, expected.c_cflag);
  EXPECT_EQ(actual.c_lflag, expected.c_lflag);
  EXPECT_EQ(cfgetispeed(&actual), cfgetispeed(&expected));
  EXPECT_EQ(cfgetospeed(&actual), cfgetospeed(&expected));
  EXPECT_EQ(std::memcmp(actual.c_cc, expected.c_cc, sizeof actual.c_cc), 0);
}

// The device this process has as its controlling terminal; empty when it has none, and a path
// that does not open when it has one that /dev does not show.
std::string ControllingTerminalPath() {
  std::FILE* file = std::fopen("/proc/self/stat", "re");
  if (file == nullptr) return {};
  char buffer[512];
  const std::size_t length = std::fread(buffer, 1, sizeof buffer - 1, file);
  (void)std::fclose(file);  // read-only: nothing to lose
  buffer[length] = '\0';
  const char* rest = std::strrchr(buffer, ')');
  unsigned ttyNr = 0;
  if (rest == nullptr || std::sscanf(rest + 1, " %*c %*d %*d %*d %u", &ttyNr) != 1 || ttyNr == 0) {
    return {};
  }
  // The kernel's own encoding of the device number, decoded here independently of the port's.
  const dev_t own = makedev((ttyNr >> 8) & 0xfff, (ttyNr & 0xff) | ((ttyNr >> 12) & 0xfff00));
  for (const char* folder : {"/dev/pts", "/dev"}) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
      struct stat device {};
      if (stat(entry.path().c_str(), &device) == 0 && S_ISCHR(device.st_mode) &&
          device.st_rdev == own && entry.path() != "/dev/tty") {
        return entry.path().string();
      }
    }
  }
  return "(not found under /dev)";
}

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(radio.Ok());
    ASSERT_TRUE(map.Map(0, radio.SlavePath()));
  }

  PortMap map;
  FarEnd radio;
  Line line;
};

TEST_F(SerialPortTest, OpenedPortIsRaw38400EightNoneOne) {
  // The far end starts in the terminal's cooked defaults, as a pseudo-terminal does.
  termios before{};
  ASSERT_EQ(tcgetattr(radio.Slave(), &before), 0);
  ASSERT_NE(before.c_lflag & ICANON, 0u);

  Driver().rtsRaises.clear();
  ASSERT_EQ(line.OpenPort(0), 1);
  // RTS goes up once the line is set: a radio that answers it at once finds 38400 baud raw.
  ASSERT_EQ(Driver().rtsRaises.size(), 1u);
  EXPECT_EQ(Driver().rtsRaises[0].speed, speed_t{B38400});
  EXPECT_FALSE(Driver().rtsRaises[0].canonical);
  termios t{};
  ASSERT_EQ(tcgetattr(PortHandleOf(line), &t), 0);
  EXPECT_EQ(cfgetospeed(&t), speed_t{B38400});
  EXPECT_TRUE(cfgetispeed(&t) == B38400 || cfgetispeed(&t) == 0);
  EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t{CS8});
  EXPECT_EQ(t.c_cflag & PARENB, 0u);
  EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
  EXPECT_NE(t.c_cflag & CLOCAL, 0u);
  EXPECT_NE(t.c_cflag & CREAD, 0u);
  EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
  for (tcflag_t flag : {IGNBRK, BRKINT, PARMRK, ISTRIP, INLCR, IGNCR, ICRNL, IXON, IXOFF, IXANY}) {
    EXPECT_EQ(t.c_iflag & flag, 0u) << "input flag " << flag;
  }
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  for (tcflag_t flag : {ECHO, ECHONL, ICANON, ISIG, IEXTEN}) {
    EXPECT_EQ(t.c_lflag & flag, 0u) << "local flag " << flag;
  }
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 0);

  int exclusive = 0;
  ASSERT_EQ(ioctl(PortHandleOf(line), TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 1);
  // Reads and writes must never block the window thread.
  EXPECT_NE(fcntl(PortHandleOf(line), F_GETFL) & O_NONBLOCK, 0);
}

TEST_F(SerialPortTest, ClosingPutsTheSettingsBackAndLeavesTheTerminalShared) {
  // Settings far from the raw line, as a terminal program might have left them: they must be
  // there again for the next user.
  termios cooked{};
  ASSERT_EQ(tcgetattr(radio.Slave(), &cooked), 0);
  cooked.c_lflag |= ICANON | ECHO | ISIG;
  cooked.c_iflag |= ICRNL | IXON;
  cooked.c_oflag |= OPOST;
  cooked.c_cc[VMIN] = 3;
  ASSERT_EQ(cfsetspeed(&cooked, B9600), 0);
  ASSERT_EQ(tcsetattr(radio.Slave(), TCSANOW, &cooked), 0);
  ASSERT_EQ(tcgetattr(radio.Slave(), &cooked), 0);  // as the driver keeps them

  // A UART's driver: low latency while the port is open, its own flags again after a write.
  Driver().answers = true;
  Driver().serialFlags = ASYNC_SKIP_TEST;
  ASSERT_EQ(line.OpenPort(0), 1);
  EXPECT_EQ(Driver().serialFlags, ASYNC_SKIP_TEST | ASYNC_LOW_LATENCY);
  const std::uint8_t byte = 0x56;
  EXPECT_TRUE(line.Write(&byte, 1));
  line.ClosePort();
  EXPECT_EQ(Driver().serialFlags, ASYNC_SKIP_TEST);
  Driver().answers = false;
  EXPECT_EQ(PortHandleOf(line), NO_DESCRIPTOR);
  int exclusive = 1;
  ASSERT_EQ(ioctl(radio.Slave(), TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);  // the terminal is not left exclusive for the next user
  termios after{};
  ASSERT_EQ(tcgetattr(radio.Slave(), &after), 0);
  ExpectSameSettings(after, cooked);
  // The device itself opens too.
  EXPECT_EQ(line.OpenDevice(radio.SlavePath()), 1);
  EXPECT_TRUE(PortIs(line, radio.SlavePath()));
}

// What opens as a file but is no serial line is refused, and nothing of it stays open.
// A UART's receive trigger, lowered for the open port, is put back when the port fails and
// closes, with the line still there for the next open.
TEST_F(SerialPortTest, AUartsReceiveTriggerIsPutBackWhenItsPortCloses) {
  testkit::TempDir sys;
  Driver().rxTrigger = sys.Write("rx_trig_bytes", {'8', '\n'});
  ASSERT_EQ(line.OpenPort(0), 1);
  EXPECT_EQ(line.ReceiveTrigger().bytes, 1);
  EXPECT_EQ(Contents(Driver().rxTrigger), "1");
  radio.HangUp();
  line.ClosePort();  // as the engine does once the port has failed
  EXPECT_EQ(Contents(Driver().rxTrigger), "8");
  Driver().rxTrigger.clear();
}

TEST_F(SerialPortTest, FailedOpensLeaveTheHandleInvalidAndNoDescriptor) {
  ASSERT_EQ(line.OpenPort(0), 1);
  const int withPort = OpenDescriptorCount();
  TempDir files;
  const std::string file = files.Write("not-a-terminal", {1, 2, 3});
  // Whatever terminal the tests run in (with none, /dev/tty does not open at all). The far end
  // of a pseudo-terminal takes every setting and carries nothing.
  const std::pair<int, std::string> targets[] = {
      {2, file}, {3, "/dev/tty"}, {4, "/dev/ptmx"}, {5, "/dev/null"}, {6, files.Path()}};
  for (const auto& [index, target] : targets) {
    ASSERT_TRUE(map.Map(index, target));
    EXPECT_EQ(line.OpenPort(index), 0) << index;
    EXPECT_EQ(PortHandleOf(line), NO_DESCRIPTOR) << index;
    EXPECT_EQ(OpenDescriptorCount(), withPort - 1) << index;
    // The message names what was tried: the link the user set and where it leads.
    EXPECT_EQ(line.LastOpenFailure().device, map.LinkFor(index) + " -> " + target) << index;
    EXPECT_FALSE(line.LastOpenFailure().reason.empty()) << index;
    // What the listing tells of the link without opening it: the same refusal (/dev/tty opens
    // only where there is a controlling terminal, and says so).
    if (index != 3) {
      EXPECT_EQ(RefusalWithoutOpening(map.LinkFor(index)), line.LastOpenFailure().reason) << index;
    }
  }
}

// A ports folder that cannot be searched may hide the radio's link: the port is refused with the
// folder and the system's reason, and no built-in port is opened in its place.
TEST_F(SerialPortTest, AFolderThatHidesTheLinksRefusesThePort) {
  TempDir config;
  ASSERT_TRUE(std::ofstream(config.Path() + "/vannor").good());
  ScopedEnv configHome("XDG_CONFIG_HOME", config.Path().c_str());
  const int before = OpenDescriptorCount();
  EXPECT_EQ(line.OpenPort(1), 0);
  EXPECT_EQ(PortHandleOf(line), NO_DESCRIPTOR);
  EXPECT_EQ(OpenDescriptorCount(), before);
  EXPECT_EQ(line.LastOpenFailure().device, config.Path() + "/vannor/ports");
  EXPECT_EQ(line.LastOpenFailure().reason, "Not a directory");
}

TEST_F(SerialPortTest, TheTerminalTheTestsRunInIsRefusedAndLeftAsItWas) {
  const std::string own = ControllingTerminalPath();
  if (own.empty()) GTEST_SKIP() << "the tests run without a controlling terminal";
  const int watcher = open(own.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(watcher, 0) << own;
  termios before{};
  ASSERT_EQ(tcgetattr(watcher, &before), 0);
  ASSERT_TRUE(map.Map(5, own));
  EXPECT_EQ(line.OpenPort(5), 0);
  EXPECT_EQ(line.OpenDevice(own), 0);
  EXPECT_EQ(line.LastOpenFailure().device, own);
  EXPECT_FALSE(line.LastOpenFailure().reason.empty());
  EXPECT_EQ(line.OpenDevice("/dev/tty"), 0);
  termios after{};
  ASSERT_EQ(tcgetattr(watcher, &after), 0);
  ExpectSameSettings(after, before);
  close(watcher);
}

TEST_F(SerialPortTest, PendingCountAndReadDeliverWhatWaitsInOrder) {
  ASSERT_EQ(line.OpenPort(0), 1);
  Bytes sent(250);
  for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_TRUE(radio.Write(sent));
  ASSERT_TRUE(WaitReadable(PortHandleOf(line)));
  // Wait for the whole burst: the count grows while the terminal moves it in.
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (line.PendingCount() < sent.size() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_EQ(line.PendingCount(), sent.size());
  Bytes got(sent.size());
  EXPECT_EQ(line.Read(got.data(), 100), 100u);
  EXPECT_EQ(line.PendingCount(), 150u);
  EXPECT_EQ(line.Read(got.data() + 100, 150), 150u);
  EXPECT_EQ(got, sent);
  EXPECT_EQ(line.PendingCount(), 0u);
  EXPECT_EQ(line.Read(got.data(), 1), 0u);  // nothing there: no wait

  // What the port has taken from the driver and not yet delivered goes with a discard too.
  ASSERT_TRUE(radio.Write({1, 2, 3}));
  while (line.PendingCount() < 3 && std::chrono::steady_clock::now() < deadline + kPatience) {
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_EQ(line.PendingCount(), 3u);
  line.DiscardInput();
  EXPECT_EQ(line.PendingCount(), 0u);
  ASSERT_TRUE(radio.Write({0x42}));
  ASSERT_TRUE(WaitReadable(PortHandleOf(line)));
  EXPECT_EQ(line.Read(got.data(), 4), 1u);
  EXPECT_EQ(got[0], 0x42);
}

TEST_F(SerialPortTest, AWriteThatCannotBeQueuedIsLostWithoutBlocking) {
  ASSERT_EQ(line.OpenPort(0), 1);
  // The radio reads nothing, so the output queue fills; every write still returns.
  Bytes block(4096);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i);
  for (int i = 0; i < 64; ++i) line.Write(block.data(), block.size());
  Bytes got;
  std::uint8_t buffer[4096];
  while (WaitReadable(radio.Master(), 200ms)) {
    const ssize_t n = read(radio.Master(), buffer, sizeof buffer);
    if (n <= 0) break;
    got.insert(got.end(), buffer, buffer + n);
  }
  // The first block found an empty queue and went out whole; some later ones were dropped.
  ASSERT_GE(got.size(), block.size());
  EXPECT_TRUE(std::equal(block.begin(), block.end(), got.begin()));
  EXPECT_LT(got.size(), 64 * block.size());
}

// The event loop is told at every open that it has a descriptor to watch, and before every
// close that it has none.
TEST_F(SerialPortTest, TheEventLoopWatchesTheOpenPortOnly) {
  testkit::CountingTarget events;
  ASSERT_TRUE(line.StartWatching(events));
  EXPECT_EQ(line.Waitable(), NO_DESCRIPTOR);
  ASSERT_EQ(line.OpenPort(0), 1);
  EXPECT_EQ(events.Count(), 1);
  EXPECT_EQ(line.Waitable(), PortHandleOf(line));
  line.ClosePort();
  EXPECT_EQ(events.Count(), 2);
  EXPECT_EQ(line.Waitable(), NO_DESCRIPTOR);
  ASSERT_EQ(line.OpenPort(0), 1);
  line.Stop();
  EXPECT_EQ(events.Count(), 4);
  EXPECT_EQ(line.Waitable(), NO_DESCRIPTOR);
  EXPECT_FALSE(line.Watching());
}

}  // namespace
}  // namespace vannor::test
