/* The floor that the driver stage times vannor-cli against, in the guest, on the same port and
 * with the same receive trigger or latency timer: the image write's opening (0x57 and a mask,
 * ACK, ENQ, ACK), then each image byte written and its echo awaited with a blocking read, and
 * nothing else. The port's settings are put back at the end.
 *
 *   echo-loop DEVICE IMAGE
 *
 * Exit status 0 when every echo matched; 1, with the reason on standard error, otherwise. */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

enum { IMAGE_CAPACITY = 200000, ACK = 0x06, ENQ = 0x05, WRITE_REQUEST = 0x57, ALL_DSPS = 0x0F };

/* A lost echo must not hold the stage for ever: the whole loop gets this long. */
enum { PATIENCE_S = 600 };

static unsigned char image[IMAGE_CAPACITY];

static int fail(const char* what) {
  fprintf(stderr, "echo-loop: %s\n", what);
  return 1;
}

/* Writes `count` bytes and reads one: 1 when it is `expected`. */
static int exchange(int fd, const unsigned char* bytes, size_t count, unsigned char expected) {
  unsigned char got = 0;
  return write(fd, bytes, count) == (ssize_t)count && read(fd, &got, 1) == 1 && got == expected;
}

static int run(int fd, size_t length) {
  const unsigned char request[2] = {WRITE_REQUEST, ALL_DSPS};
  const unsigned char enquiry = ENQ;
  if (!exchange(fd, request, sizeof request, ACK)) return fail("no ACK to the write request");
  if (!exchange(fd, &enquiry, 1, ACK)) return fail("no ACK to the enquiry");
  for (size_t i = 0; i < length; ++i) {
    if (!exchange(fd, &image[i], 1, image[i])) return fail("an echo was lost or wrong");
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: echo-loop DEVICE IMAGE\n");
    return 2;
  }
  FILE* in = fopen(argv[2], "rb");
  if (in == NULL) return fail("cannot open the image");
  const size_t length = fread(image, 1, sizeof image, in);
  (void)fclose(in); /* read-only: nothing to lose */
  if (length == 0) return fail("the image is empty");

  const int fd = open(argv[1], O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return fail(strerror(errno));
  struct termios before, line;
  if (tcgetattr(fd, &before) != 0) return fail("not a terminal");
  line = before;
  cfmakeraw(&line);
  line.c_cflag |= CLOCAL | CREAD;
  line.c_cflag &= ~CRTSCTS;
  line.c_cc[VMIN] = 1;
  line.c_cc[VTIME] = 0;
  if (cfsetispeed(&line, B38400) != 0 || cfsetospeed(&line, B38400) != 0 ||
      tcsetattr(fd, TCSANOW, &line) != 0) {
    return fail("the driver refused 38400 8N1 raw");
  }
  /* Ignored: a port that cannot flush has nothing stale to lose either. */
  (void)tcflush(fd, TCIOFLUSH);
  (void)alarm(PATIENCE_S); /* no earlier alarm to keep */
  const int status = run(fd, length);
  /* Ignored: the stage compares the settings itself; a port that refuses them has gone. */
  (void)tcsetattr(fd, TCSANOW, &before);
  (void)close(fd); /* the settings are back; nothing unsent is left to lose */
  return status;
}
