#include "serial/posix/posix_port.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "serial/posix/line_config.h"

namespace vannor {

namespace {

std::string SystemReason(int error) {
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

// Whether fd is the user's own terminal: /dev/tty, or the device behind it. Taking that over
// would set it raw and exclusive under the user's shell.
bool IsOwnTerminal(int fd) {
  struct stat device;
  if (fstat(fd, &device) != 0) return false;
  if (device.st_rdev == makedev(5, 0)) return true;  // /dev/tty
  const dev_t own = ControllingTerminal();
  return own != 0 && device.st_rdev == own;
}

}  // namespace

bool PosixPort::Open(const std::string& path, OpenFailure& failure) {
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
  if (!isatty(fd)) return refuse("not a serial port (not a terminal)");
  if (IsOwnTerminal(fd)) return refuse("this is the terminal the program runs in");
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
  SetHandle(fd);
  return true;
}

void PosixPort::Close() {
  const int fd = fd_;
  if (fd == INVALID_PORT_HANDLE) return;
  SetHandle(INVALID_PORT_HANDLE);
  if (lowLatencySet_) RestoreLatency(fd);
  lowLatencySet_ = false;
  // Ignored: a port that went away has no settings left to restore. TCSANOW: bytes still on
  // their way out must not hold up the window thread.
  (void)tcsetattr(fd, TCSANOW, &saved_);
  // Ignored: a terminal that other descriptors keep alive (a pseudo-terminal) would otherwise
  // stay exclusive after we let go; a port that went away has no mode left to clear.
  (void)ioctl(fd, TIOCNXCL);
  // Ignored: on Linux the descriptor is released (and the flock with it) even when close
  // reports an error, and there is nobody left to tell about unsent output.
  (void)close(fd);
}

void PosixPort::SetHandle(int fd) {
  fd_ = fd;
  ++generation_;
}

void PosixPort::Write(const std::uint8_t* bytes, std::size_t count) {
  if (fd_ == INVALID_PORT_HANDLE) return;
  while (count > 0) {
    const ssize_t written = write(fd_, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    // EAGAIN (output queue full) and EIO (port gone): the rest is lost, as on a bad line.
    if (written <= 0) return;
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
}

std::size_t PosixPort::PendingCount() {
  if (fd_ == INVALID_PORT_HANDLE) return 0;
  int waiting = 0;
  // EIO after a hang-up: nothing will ever arrive on this descriptor again.
  if (ioctl(fd_, FIONREAD, &waiting) != 0 || waiting < 0) return 0;
  return static_cast<std::size_t>(waiting);
}

std::size_t PosixPort::Read(std::uint8_t* buffer, std::size_t count) {
  if (fd_ == INVALID_PORT_HANDLE || count == 0) return 0;
  for (;;) {
    const ssize_t got = read(fd_, buffer, count);
    if (got < 0 && errno == EINTR) continue;
    // EAGAIN (nothing there after all) and EIO (port gone) deliver nothing.
    return got > 0 ? static_cast<std::size_t>(got) : 0;
  }
}

}  // namespace vannor
