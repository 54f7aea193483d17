/* Hangs a terminal line up under whoever holds it open, as the kernel does when a USB adapter
 * is pulled out: their reads end, their writes fail with EIO, and the port itself stays. The
 * driver stage's failure case for a UART, which cannot be unplugged. Needs root.
 *
 *   hang-up DEVICE */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: hang-up DEVICE\n");
    return 2;
  }
  /* Root opens a port held in exclusive mode too; O_NONBLOCK: no wait for a carrier. */
  const int fd = open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 || ioctl(fd, TIOCVHANGUP) != 0) {
    fprintf(stderr, "hang-up: %s: %s\n", argv[1], strerror(errno));
    return 1;
  }
  (void)close(fd); /* hung up itself: nothing left to lose */
  return 0;
}
