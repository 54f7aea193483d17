#include "serial/linux/linux_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "serial/linux/line_config.h"

namespace vannor {

namespace {

// A failure without an errno of its own: the event loop saw the descriptor hang up.
constexpr int HANG_UP = -1;

constexpr const char* WENT_AWAY = "the port went away; was the adapter unplugged?";

std::string SystemReason(int error) {
  if (error == EBUSY) return "in use by another program";
  std::string reason = std::strerror(error);
  if (error == EACCES || error == EPERM) reason += " \u2014 add yourself to the dialout group";
  return reason;
}

// The device number of this process's controlling terminal, or 0 when it has none. Read from
// /proc rather than by opening /dev/tty, which could itself take the terminal.
dev_t ControllingTerminal() {
  std::FILE* stat = std::fopen("/proc/self/stat", "re");
  if (stat == nullptr) return 0;
  char buffer[512];
  const std::size_t length = std::fread(buffer, 1, sizeof buffer - 1, stat);
  (void)std::fclose(stat);  // read-only: nothing to lose
  buffer[length] = '\0';
  // The command name may hold anything; the fields after it start behind its last ')'.
  const char* rest = std::strrchr(buffer, ')');
  if (rest == nullptr) return 0;
  char state = 0;
  int ppid = 0, pgrp = 0, session = 0, ttyNr = 0;
  if (std::sscanf(rest + 1, " %c %d %d %d %d", &state, &ppid, &pgrp, &session, &ttyNr) != 5) {
    return 0;
  }
  return static_cast<dev_t>(ttyNr);
}

// Whether the device is the user's own terminal: /dev/tty, or the device behind it. Taking that
// over would set it raw and exclusive under the user's shell.
bool IsOwnTerminal(const struct stat& device) {
  if (device.st_rdev == makedev(5, 0)) return true;  // /dev/tty
  const dev_t own = ControllingTerminal();
  return own != 0 && device.st_rdev == own;
}

// Pseudo-terminal masters (/dev/ptmx and what it hands out, and the old BSD masters) are the
// far end of a terminal, not a line: they take every setting and never carry a byte anywhere.
bool IsTerminalMaster(const struct stat& device) {
  const unsigned major = major(device.st_rdev);
  return device.st_rdev == makedev(5, 2) || (major >= 128 && major <= 135) || major == 2;
}

// The kernel's name of a character device ("ttyS0"), or empty.
std::string KernelName(const struct stat& device) {
  char link[64];
  std::snprintf(link, sizeof link, "/sys/dev/char/%u:%u", major(device.st_rdev),
                minor(device.st_rdev));
  char target[256];
  const ssize_t length = readlink(link, target, sizeof target - 1);
  if (length <= 0) return std::string();
  target[length] = '\0';
  const char* name = std::strrchr(target, '/');
  return name == nullptr ? std::string(target) : std::string(name + 1);
}

// Whether the kernel writes its console to this device: bytes sent there would mix with its
// messages, and its settings belong to the system.
bool IsActiveConsole(const struct stat& device) {
  const std::string name = KernelName(device);
  if (name.empty()) return false;
  std::FILE* active = std::fopen("/sys/class/tty/console/active", "re");
  if (active == nullptr) return false;  // no sysfs: nothing is known to be the console
  char consoles[256];
  const std::size_t length = std::fread(consoles, 1, sizeof consoles - 1, active);
  (void)std::fclose(active);  // read-only: nothing to lose
  consoles[length] = '\0';
  for (char *save = nullptr, *word = strtok_r(consoles, " \n", &save); word != nullptr;
       word = strtok_r(nullptr, " \n", &save)) {
    if (name == word) return true;
  }
  return false;
}

constexpr const char* NOT_A_TERMINAL = "not a serial line (not a terminal)";

// Whether the kernel files the character device among its terminals; true where sysfs does not
// say (pseudo-terminal slaves have no entry there).
bool IsTerminalClass(const struct stat& device) {
  char link[96];
  std::snprintf(link, sizeof link, "/sys/dev/char/%u:%u/subsystem", major(device.st_rdev),
                minor(device.st_rdev));
  char target[256];
  const ssize_t length = readlink(link, target, sizeof target - 1);
  if (length <= 0) return true;
  target[length] = '\0';
  const char* name = std::strrchr(target, '/');
  return std::strcmp(name == nullptr ? target : name + 1, "tty") == 0;
}

// Why a terminal is not one to take as the radio's line; empty when nothing speaks against it.
std::string RefusedTerminal(const struct stat& device) {
  if (IsTerminalMaster(device)) return "not a serial line (a pseudo-terminal master)";
  if (IsOwnTerminal(device)) return "this is the terminal the program runs in";
  if (IsActiveConsole(device)) {
    return std::string(CONSOLE_REFUSAL);
  }
  return std::string();
}

}  // namespace

std::string RefusalWithoutOpening(const std::string& path) {
  struct stat device;
  if (stat(path.c_str(), &device) != 0) return SystemReason(errno);
  // What the open would say of these: a folder does not open for writing at all.
  if (S_ISDIR(device.st_mode)) return SystemReason(EISDIR);
  if (!S_ISCHR(device.st_mode) || !IsTerminalClass(device)) return NOT_A_TERMINAL;
  if (access(path.c_str(), R_OK | W_OK) != 0) return SystemReason(errno);
  return RefusedTerminal(device);
}

std::unique_ptr<PortBackend> MakePortBackend() {
  return std::make_unique<LinuxPort>();
}

bool LinuxPort::Open(const std::string& path, OpenFailure& failure) {
  Close();
  failure = OpenFailure{.device = path, .reason = {}};
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    failure.reason = SystemReason(errno);
    return false;
  }
  auto refuse = [&](std::string reason) {
    // Ignored: nothing was changed on the port yet, or what was is undone above; a close error
    // has nothing left to undo.
    (void)close(fd);
    failure.reason = std::move(reason);
    return false;
  };
  struct stat device;
  if (fstat(fd, &device) != 0) return refuse(SystemReason(errno));
  if (!isatty(fd)) return refuse(NOT_A_TERMINAL);
  if (std::string refusal = RefusedTerminal(device); !refusal.empty()) {
    return refuse(std::move(refusal));
  }
  // flock keeps out every program that honours it (ours too, in a second instance), TIOCEXCL
  // every other open of the terminal by an unprivileged user.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    return refuse(errno == EWOULDBLOCK ? "in use by another program" : SystemReason(errno));
  }
  if (tcgetattr(fd, &saved_) != 0) return refuse(SystemReason(errno));
  // Ignored: flock above is what makes the port ours; TIOCEXCL only adds the kernel's check.
  (void)ioctl(fd, TIOCEXCL);
  if (!ConfigureLine(fd)) {
    // Ignored: the best that can be done for a port that refused its settings.
    (void)tcsetattr(fd, TCSANOW, &saved_);
    (void)ioctl(fd, TIOCNXCL);  // see Close
    return refuse("the driver refused 38400 baud 8N1 raw");
  }
  RaiseRts(fd);
  lowLatencySet_ = RequestLowLatency(fd);
  // Once nothing can refuse the port any more: the driver keeps the trigger across opens, so
  // every open that lowers it must end in the Close that puts it back. Setting it empties the
  // FIFO, which holds nothing of this program's yet.
  const std::string name = KernelName(device);
  if (!name.empty()) trigger_.Lower("/sys/class/tty/" + name + "/rx_trig_bytes");
  fd_ = fd;
  failure_ = 0;
  if (events_ != nullptr) events_->PortEvent();
  return true;
}

void LinuxPort::Close() {
  const int fd = fd_;
  if (fd == NO_DESCRIPTOR) return;
  // Stop watching first: the event loop must never wait on a descriptor that is closed (or
  // that the next open gets again).
  fd_ = NO_DESCRIPTOR;
  if (events_ != nullptr) events_->PortEvent();
  DropReceived();
  if (lowLatencySet_) RestoreLatency(fd);
  lowLatencySet_ = false;
  trigger_.Restore();
  // Ignored: a port that went away has no settings left to restore. TCSANOW: bytes still on
  // their way out must not hold up the event thread.
  (void)tcsetattr(fd, TCSANOW, &saved_);
  // Ignored: a terminal that other descriptors keep alive (a pseudo-terminal) would otherwise
  // stay exclusive after we let go; a port that went away has no mode left to clear.
  (void)ioctl(fd, TIOCNXCL);
  // Ignored: on Linux the descriptor is released (and the flock with it) even when close
  // reports an error, and there is nobody left to tell about unsent output.
  (void)close(fd);
}

// The event loop itself waits on the descriptor: nothing here can fail.
bool LinuxPort::StartWatch(PortEvents& events, std::string& /*reason*/) {
  events_ = &events;
  if (fd_ != NO_DESCRIPTOR) events_->PortEvent();
  return true;
}

void LinuxPort::StopWatch() {
  if (events_ == nullptr) return;
  PortEvents* const events = events_;
  events_ = nullptr;
  events->PortEvent();
}

void LinuxPort::Fail(int error) {
  if (failure_ == 0) failure_ = error;
}

void LinuxPort::LookForHangUp() {
  pollfd port{.fd = fd_, .events = POLLIN, .revents = 0};
  // Ignored when it fails: the port's next read or write tells what is wrong with it.
  if (poll(&port, 1, 0) == 1 && (port.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
    Fail(HANG_UP);
  }
}

std::string LinuxPort::FailureReason() const {
  switch (failure_) {
    case 0:
      return std::string();
    case HANG_UP:
    case EIO:
    case ENXIO:
    case ENODEV:
      // What an unplugged USB adapter and a far end that hung up report.
      return WENT_AWAY;
    default:
      return std::strerror(failure_);
  }
}

bool LinuxPort::Write(const std::uint8_t* bytes, std::size_t count) {
  if (fd_ == NO_DESCRIPTOR || failure_ != 0) return false;
  while (count > 0) {
    const ssize_t written = write(fd_, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    // A full output queue: the rest is lost, as on a bad line, and the time-out tells.
    if (written < 0 && errno == EAGAIN) return true;
    if (written <= 0) {
      Fail(written < 0 ? errno : HANG_UP);
      return false;
    }
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
  return true;
}

std::size_t LinuxPort::PendingCount() {
  if (fd_ == NO_DESCRIPTOR) return 0;
  // The count is what one read brings in: asking the driver for a count first would cost every
  // byte a second system call, and a slow machine feels each one at the wire's speed.
  if (readFrom_ > 0) {
    std::memmove(received_, received_ + readFrom_, receivedEnd_ - readFrom_);
    receivedEnd_ -= readFrom_;
    readFrom_ = 0;
  }
  const std::size_t held = receivedEnd_;
  for (;;) {
    if (receivedEnd_ == sizeof received_) break;
    const ssize_t got = read(fd_, received_ + receivedEnd_, sizeof received_ - receivedEnd_);
    if (got < 0 && errno == EINTR) continue;
    if (got > 0) {
      receivedEnd_ += static_cast<std::size_t>(got);
      break;
    }
    // EIO after a hang-up: nothing will ever arrive on this descriptor again. EAGAIN: nothing
    // there after all.
    if (got < 0 && errno != EAGAIN) {
      Fail(errno);
      break;
    }
    // A raw line (VMIN and VTIME 0) reads 0 both when nothing is there and after a hang-up:
    // only a wake with nothing to read can have been a hang-up, so a byte's own wake costs
    // nothing more.
    if (held == 0) LookForHangUp();
    break;
  }
  return receivedEnd_ - readFrom_;
}

std::size_t LinuxPort::Read(std::uint8_t* buffer, std::size_t count) {
  if (fd_ == NO_DESCRIPTOR || count == 0) return 0;
  if (readFrom_ == receivedEnd_ && PendingCount() == 0) return 0;
  const std::size_t held = receivedEnd_ - readFrom_;
  const std::size_t delivered = count < held ? count : held;
  std::memcpy(buffer, received_ + readFrom_, delivered);
  readFrom_ += delivered;
  return delivered;
}

int LinuxPort::AdapterLatencyMs() const {
  struct stat device;
  if (fd_ == NO_DESCRIPTOR || fstat(fd_, &device) != 0) return -1;
  const std::string name = KernelName(device);
  if (name.empty()) return -1;
  // Only USB-serial drivers with a latency timer have this file (ftdi_sio among them).
  std::FILE* file = std::fopen(("/sys/class/tty/" + name + "/device/latency_timer").c_str(), "re");
  if (file == nullptr) return -1;
  int milliseconds = -1;
  if (std::fscanf(file, "%d", &milliseconds) != 1) milliseconds = -1;
  (void)std::fclose(file);  // read-only: nothing to lose
  return milliseconds;
}

void LinuxPort::DiscardInput() {
  DropReceived();
  // Ignored: a port that cannot flush has failed, and its next read or write tells.
  if (fd_ != NO_DESCRIPTOR) (void)tcflush(fd_, TCIFLUSH);
}

void LinuxPort::DropReceived() {
  readFrom_ = 0;
  receivedEnd_ = 0;
}

}  // namespace vannor
