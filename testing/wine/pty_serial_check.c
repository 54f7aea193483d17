// Checks the Wine test library on real pseudo-terminals, as Wine uses it. scripts/wine-prefix.sh
// builds and runs this with each build of the library (32-bit with 64-bit time, as Wine's
// programs call it, and 64-bit, as Wine's server does) and refuses a library that fails.
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

static int checks;
static int failures;

#define CHECK(condition)                                                      \
  do {                                                                        \
    ++checks;                                                                 \
    if (!(condition)) {                                                       \
      ++failures;                                                             \
      fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition); \
    }                                                                         \
  } while (0)

enum { INPUTS = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR };

static int lines_of(int fd) {
  int lines = -1;
  return ioctl(fd, TIOCMGET, &lines) == 0 ? lines : -1;
}

static int change(int fd, unsigned long request, int lines) {
  return ioctl(fd, request, &lines);
}

int main(void) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    perror("no pseudo-terminal");
    return 2;
  }
  const char* name = ptsname(master);
  const int slave = open(name, O_RDWR | O_NOCTTY);
  CHECK(slave >= 0);
  struct termios raw;
  CHECK(tcgetattr(slave, &raw) == 0);
  cfmakeraw(&raw);
  CHECK(tcsetattr(slave, TCSANOW, &raw) == 0);

  // Lines: a fresh port has DTR and RTS up and a ready device on the far side; the output lines
  // follow each request, the input lines never change.
  CHECK(lines_of(slave) == (TIOCM_DTR | TIOCM_RTS | INPUTS));
  CHECK(change(slave, TIOCMBIC, TIOCM_DTR) == 0);
  CHECK(lines_of(slave) == (TIOCM_RTS | INPUTS));
  CHECK(change(slave, TIOCMBIS, TIOCM_DTR) == 0);
  CHECK(lines_of(slave) == (TIOCM_DTR | TIOCM_RTS | INPUTS));
  CHECK(change(slave, TIOCMSET, TIOCM_RTS | TIOCM_RI) == 0);
  CHECK(lines_of(slave) == (TIOCM_RTS | INPUTS));
  CHECK(change(slave, TIOCMSET, TIOCM_DTR | TIOCM_RTS) == 0);

  // Everything else reaches the kernel: the master still has no modem lines, and the count of
  // waiting bytes is the real one.
  CHECK(lines_of(master) == -1);
  CHECK(write(master, "abc", 3) == 3);
  struct pollfd readable = {.fd = slave, .events = POLLIN, .revents = 0};
  CHECK(poll(&readable, 1, 5000) == 1);
  int waiting = -1;
  CHECK(ioctl(slave, FIONREAD, &waiting) == 0 && waiting == 3);

  // One open at a time, as a serial driver allows; closing frees the port.
  errno = 0;
  const int refused = open(name, O_RDWR | O_NOCTTY);
  CHECK(refused == -1 && errno == EACCES);
  if (refused >= 0) close(refused);
  CHECK(close(slave) == 0);
  const int reopened = open(name, O_RDWR | O_NOCTTY);
  CHECK(reopened >= 0);

  // The far end closes: the lines can no longer be read.
  CHECK(close(master) == 0);
  errno = 0;
  CHECK(lines_of(reopened) == -1 && errno == EIO);
  if (reopened >= 0) close(reopened);

  printf("%d passed, %d failed\n", checks - failures, failures);
  return failures == 0 ? 0 : 1;
}
