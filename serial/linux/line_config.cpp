#include "serial/linux/line_config.h"

#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>

#include "serial/adapter_latency.h"

namespace vannor {

namespace {

// Input processing that would translate, drop, double or consume bytes: break and parity
// handling, stripping to 7 bits, end-of-line translation, case folding and XON/XOFF.
constexpr tcflag_t RAW_CLEARED_IFLAG = IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                       IUCLC | IXON | IXOFF | IXANY | INPCK | IMAXBEL;
// Echo, line editing and signal characters.
constexpr tcflag_t RAW_CLEARED_LFLAG = ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN;
constexpr tcflag_t LINE_CFLAG_MASK = CSIZE | PARENB | CSTOPB | CLOCAL | CREAD;
constexpr tcflag_t LINE_CFLAG = CS8 | CLOCAL | CREAD;

bool IsRawLine(const termios& t) {
  // An input speed of 0 means "the same as the output speed".
  const speed_t in = cfgetispeed(&t);
  return cfgetospeed(&t) == B38400 && (in == 0 || in == B38400) &&
         (t.c_cflag & LINE_CFLAG_MASK) == LINE_CFLAG && (t.c_iflag & RAW_CLEARED_IFLAG) == 0 &&
         (t.c_oflag & OPOST) == 0 && (t.c_lflag & RAW_CLEARED_LFLAG) == 0 && t.c_cc[VMIN] == 0 &&
         t.c_cc[VTIME] == 0;
}

}  // namespace

bool ConfigureLine(int fd) {
  termios t;
  if (tcgetattr(fd, &t) != 0) return false;
  t.c_iflag &= ~RAW_CLEARED_IFLAG;
  t.c_oflag &= ~OPOST;
  t.c_lflag &= ~RAW_CLEARED_LFLAG;
  // The tool drives RTS itself, so the driver must not use it for hardware flow control; and a
  // three-wire cable would never let output through with CTS flow control on.
  t.c_cflag &= ~(LINE_CFLAG_MASK | CRTSCTS);
  t.c_cflag |= LINE_CFLAG;
  // Reads return what is there at once; the descriptor is non-blocking anyway.
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (cfsetispeed(&t, B38400) != 0 || cfsetospeed(&t, B38400) != 0) return false;
  // TCSANOW: waiting for output to drain could block the window thread.
  if (tcsetattr(fd, TCSANOW, &t) != 0) return false;
  // tcsetattr succeeds when any part of the change took; only the read-back tells.
  termios back;
  if (tcgetattr(fd, &back) != 0) return false;
  return IsRawLine(back);
}

void RaiseRts(int fd) {
  const int rts = TIOCM_RTS;
  // Ignored: a pseudo-terminal has no modem lines (ENOTTY), and a port without RTS still
  // carries the bytes.
  (void)ioctl(fd, TIOCMBIS, &rts);
}

std::string_view LatencyAdvice() {
  return "set the driver's latency_timer to 1 (its file under /sys/bus/usb-serial/devices)";
}

bool RequestLowLatency(int fd) {
  serial_struct serial;
  // Drivers without these requests (pseudo-terminals, some adapters) answer ENOTTY or EINVAL;
  // the port then runs at the driver's own latency.
  if (ioctl(fd, TIOCGSERIAL, &serial) != 0) return false;
  if ((serial.flags & ASYNC_LOW_LATENCY) != 0) return false;
  serial.flags |= ASYNC_LOW_LATENCY;
  return ioctl(fd, TIOCSSERIAL, &serial) == 0;
}

void RestoreLatency(int fd) {
  serial_struct serial;
  // Ignored failures: the port is being closed, and an adapter that went away has no setting
  // left to restore.
  if (ioctl(fd, TIOCGSERIAL, &serial) != 0) return;
  serial.flags &= ~ASYNC_LOW_LATENCY;
  (void)ioctl(fd, TIOCSSERIAL, &serial);
}

}  // namespace vannor
