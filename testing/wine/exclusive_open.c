// Test scaffolding, never shipped: a pseudo-terminal slave opens only once at a time under Wine.
//
// A Windows serial driver refuses a second CreateFile of a port that is open (ERROR_ACCESS_DENIED),
// whatever the sharing mode. Wine checks sharing only for files and folders, so a second open of
// a COM port mapped to a pseudo-terminal succeeds. Loaded with LD_PRELOAD into Wine's server,
// which is the process that opens files, this puts an exclusive flock on every slave it opens and
// refuses an open that cannot get one with EACCES, which Wine reports as ERROR_ACCESS_DENIED. The
// lock goes with the last descriptor of that open, when the Windows program closes its handle.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stddef.h>
#include <sys/file.h>
#include <unistd.h>

#include "pts_slave.h"

typedef int (*open_fn)(const char*, int, ...);
typedef int (*openat_fn)(int, const char*, int, ...);

static void* next_symbol(const char* name, void** cache) {
  // dlsym's answer never changes, so a race between two first calls is harmless.
  void* next = __atomic_load_n(cache, __ATOMIC_ACQUIRE);
  if (next == NULL) {
    next = dlsym(RTLD_NEXT, name);
    __atomic_store_n(cache, next, __ATOMIC_RELEASE);
  }
  return next;
}

static int exclusive(int fd) {
  if (fd < 0 || pts_index(fd) < 0) return fd;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
  const int error = errno;
  close(fd);  // the open is refused; nothing to report if closing it fails too
  errno = error == EWOULDBLOCK ? EACCES : error;
  return -1;
}

static mode_t mode_argument(int flags, va_list args) {
  return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(args, int) : 0;
}

#define OPEN_HOOK(name)                                       \
  int name(const char* path, int flags, ...) {                \
    static void* cache;                                       \
    va_list args;                                             \
    va_start(args, flags);                                    \
    const mode_t mode = mode_argument(flags, args);           \
    va_end(args);                                             \
    const open_fn next = (open_fn)next_symbol(#name, &cache); \
    if (next == NULL) {                                       \
      errno = ENOSYS;                                         \
      return -1;                                              \
    }                                                         \
    return exclusive(next(path, flags, mode));                \
  }

#define OPENAT_HOOK(name)                                         \
  int name(int dir, const char* path, int flags, ...) {           \
    static void* cache;                                           \
    va_list args;                                                 \
    va_start(args, flags);                                        \
    const mode_t mode = mode_argument(flags, args);               \
    va_end(args);                                                 \
    const openat_fn next = (openat_fn)next_symbol(#name, &cache); \
    if (next == NULL) {                                           \
      errno = ENOSYS;                                             \
      return -1;                                                  \
    }                                                             \
    return exclusive(next(dir, path, flags, mode));               \
  }

OPEN_HOOK(open)
OPEN_HOOK(open64)
OPENAT_HOOK(openat)
OPENAT_HOOK(openat64)
