// Test scaffolding, never shipped: lets Wine drive a pseudo-terminal as if it were a serial port.
//
// Wine reads and sets the modem lines with TIOCMGET, TIOCMSET, TIOCMBIS and TIOCMBIC. A
// pseudo-terminal answers all four with ENOTTY, and Wine then fails GetCommModemStatus,
// EscapeCommFunction and an overlapped WaitCommEvent. Loaded into Wine with LD_PRELOAD, this
// library answers those four requests on pseudo-terminal slaves as a port wired to a ready
// device would: CTS, DSR and CD on, RI off, and DTR and RTS as last set (on after open). Every
// other request, and every other descriptor, goes to the C library unchanged.
//
// Once the far end has closed the master, TIOCMGET fails with EIO, as reading the lines of an
// unplugged adapter does. Wine's wait for EV_RXCHAR reads the lines while it polls, so a pending
// WaitCommEvent then fails instead of waiting forever on a line that is gone.
//
// 32-bit Wine is built with 64-bit time and calls __ioctl_time64, so both entry points are
// hooked. Build it once per word size and load it as LD_PRELOAD='<dir>/$LIB/modem_lines.so'
// (a literal $LIB, which the loader expands), so that Wine's 32- and 64-bit processes each find
// their own.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <poll.h>
#include <stdarg.h>
#include <stddef.h>
#include <sys/ioctl.h>

#include "pts_slave.h"

typedef int (*ioctl_fn)(int, unsigned long, void*);

enum { OUTPUT_LINES = TIOCM_DTR | TIOCM_RTS, INPUT_LINES = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR };

// The output lines belong to the line, not to one descriptor, so they are kept per slave.
// Stored as the lines lowered, so that a slave never touched reads DTR and RTS on. Process-wide
// by nature: this stands in for the kernel's state of each line.
static unsigned char lowered_lines[PTS_COUNT];

static unsigned char to_lowered(int lines) {
  return (unsigned char)(~lines & OUTPUT_LINES);
}
static int from_lowered(unsigned char lowered) {
  return (OUTPUT_LINES & ~lowered) | INPUT_LINES;
}

// 1 when the request was a modem-line request on a slave and has been answered, 0 to pass on.
static int answer_modem_lines(int fd, unsigned long request, void* arg, int* result) {
  if (request != TIOCMGET && request != TIOCMSET && request != TIOCMBIS && request != TIOCMBIC) {
    return 0;
  }
  const int index = pts_index(fd);
  if (index < 0) return 0;
  int* lines = arg;
  if (lines == NULL) {
    errno = EFAULT;
    *result = -1;
    return 1;
  }
  unsigned char* slot = &lowered_lines[index];
  switch (request) {
    case TIOCMGET: {
      struct pollfd hangup = {.fd = fd, .events = 0, .revents = 0};
      if (poll(&hangup, 1, 0) == 1 && (hangup.revents & POLLHUP)) {
        errno = EIO;
        *result = -1;
        return 1;
      }
      *lines = from_lowered(__atomic_load_n(slot, __ATOMIC_RELAXED));
      break;
    }
    case TIOCMSET:
      __atomic_store_n(slot, to_lowered(*lines), __ATOMIC_RELAXED);
      break;
    case TIOCMBIS:
      __atomic_and_fetch(slot, (unsigned char)~(*lines & OUTPUT_LINES), __ATOMIC_RELAXED);
      break;
    default:  // TIOCMBIC
      __atomic_or_fetch(slot, (unsigned char)(*lines & OUTPUT_LINES), __ATOMIC_RELAXED);
      break;
  }
  *result = 0;
  return 1;
}

static int call_next(const char* name, int fd, unsigned long request, void* arg) {
  // dlsym's answer never changes, so a race between two first calls is harmless.
  static ioctl_fn next_ioctl;
  static ioctl_fn next_ioctl_time64;
  ioctl_fn* cached = name[0] == 'i' ? &next_ioctl : &next_ioctl_time64;
  ioctl_fn next = __atomic_load_n(cached, __ATOMIC_ACQUIRE);
  if (next == NULL) {
    next = (ioctl_fn)dlsym(RTLD_NEXT, name);
    if (next == NULL) {
      errno = ENOSYS;  // only a 64-bit process lacks __ioctl_time64, and nothing calls it there
      return -1;
    }
    __atomic_store_n(cached, next, __ATOMIC_RELEASE);
  }
  return next(fd, request, arg);
}

// The third argument is read as a pointer: every request this passes on takes a pointer or a
// value no wider than one, and the kernel reads it as an unsigned long either way.
int ioctl(int fd, unsigned long request, ...) {
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  int result;
  if (answer_modem_lines(fd, request, arg, &result)) return result;
  return call_next("ioctl", fd, request, arg);
}

int __ioctl_time64(int fd, unsigned long request, ...) {
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  int result;
  if (answer_modem_lines(fd, request, arg, &result)) return result;
  return call_next("__ioctl_time64", fd, request, arg);
}
