#include "serial/serial_port.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "protocol/link_state.h"
#include "serial/line_config.h"
#include "serial/listener_wake.h"
#include "serial/port_names.h"

namespace vannor {

namespace {

// Written only where portHandle is written: on the window thread, inside portLock once the
// listener runs.
std::uint32_t portGeneration = 0;
// Whether this program switched the open port's driver to low latency.
bool lowLatencySet = false;

void SetPortHandle(PortHandle handle) {
  linkState.portHandle = handle;
  ++portGeneration;
}

// Opens the device exclusively: flock keeps out every program that honours it (ours too, in a
// second instance), TIOCEXCL every other open of the terminal by an unprivileged user.
int OpenExclusive(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    (void)close(fd);  // nothing was changed on the port; a close error has nothing to undo
    return -1;
  }
  // Ignored: flock above is what makes the port ours; TIOCEXCL only adds the kernel's check.
  (void)ioctl(fd, TIOCEXCL);
  return fd;
}

}  // namespace

int OpenPort(int index) {
  ClosePort();
  const std::string path = ResolvePortPath(index);
  if (path.empty()) return 0;
  const int fd = OpenExclusive(path);
  if (fd < 0) return 0;
  if (!ConfigureLine(fd)) {
    (void)ioctl(fd, TIOCNXCL);  // see ClosePort
    (void)close(fd);            // the port was never handed out; nothing to report
    return 0;
  }
  RaiseRts(fd);
  lowLatencySet = RequestLowLatency(fd);
  SetPortHandle(fd);
  return 1;
}

void ClosePort() {
  const PortHandle fd = linkState.portHandle;
  if (fd == INVALID_PORT_HANDLE) return;
  SetPortHandle(INVALID_PORT_HANDLE);
  WithdrawPortFromListener(fd);
  if (lowLatencySet) RestoreLatency(fd);
  lowLatencySet = false;
  // Ignored: a terminal that other descriptors keep alive (a pseudo-terminal) would otherwise
  // stay exclusive after we let go; a port that went away has no mode left to clear.
  (void)ioctl(fd, TIOCNXCL);
  // Ignored: on Linux the descriptor is released (and the flock with it) even when close
  // reports an error, and there is nobody left to tell about unsent output.
  (void)close(fd);
}

std::uint32_t PortGeneration() {
  return portGeneration;
}

bool SerialPortUsable() {
  return linkState.portHandle != INVALID_PORT_HANDLE;
}

void SerialWrite(const std::uint8_t* bytes, std::size_t count) {
  const PortHandle fd = linkState.portHandle;
  if (fd == INVALID_PORT_HANDLE) return;
  while (count > 0) {
    const ssize_t written = write(fd, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    // EAGAIN (output queue full) and EIO (port gone): the rest is lost, as on a bad line.
    if (written <= 0) return;
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
}

std::size_t SerialPendingCount() {
  const PortHandle fd = linkState.portHandle;
  if (fd == INVALID_PORT_HANDLE) return 0;
  int waiting = 0;
  // EIO after a hang-up: nothing will ever arrive on this descriptor again.
  if (ioctl(fd, FIONREAD, &waiting) != 0 || waiting < 0) return 0;
  return static_cast<std::size_t>(waiting);
}

std::size_t SerialRead(std::uint8_t* buffer, std::size_t count) {
  const PortHandle fd = linkState.portHandle;
  if (fd == INVALID_PORT_HANDLE || count == 0) return 0;
  for (;;) {
    const ssize_t got = read(fd, buffer, count);
    if (got < 0 && errno == EINTR) continue;
    // EAGAIN (nothing there after all) and EIO (port gone) deliver nothing.
    return got > 0 ? static_cast<std::size_t>(got) : 0;
  }
}

}  // namespace vannor
