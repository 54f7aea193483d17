#include "process/standard_streams.h"

#include <fcntl.h>

#include <cerrno>

namespace vannor {

void EnsureStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open takes the lowest free number, which is this one. Ignored failure: without /dev/null
    // there is nothing better to put there, and the descriptor stays closed.
    (void)open("/dev/null", O_RDWR);
  }
}

}  // namespace vannor
