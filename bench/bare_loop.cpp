#include "bench/bare_loop.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace vannor::bench {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::nanoseconds FAILED{-1};

// The link's time-out, as the poll's limit.
constexpr int ANSWER_LIMIT_MS = 5000;

bool Exchange(int fd, std::uint8_t send, std::uint8_t expect, BareWait wait) {
  std::uint8_t got = 0;
  if (write(fd, &send, 1) != 1) return false;
  if (wait == BareWait::Poll) {
    pollfd watched{.fd = fd, .events = POLLIN, .revents = 0};
    int pending = 0;
    if (poll(&watched, 1, ANSWER_LIMIT_MS) != 1 || ioctl(fd, FIONREAD, &pending) != 0 ||
        pending < 1) {
      return false;
    }
  }
  return read(fd, &got, 1) == 1 && got == expect;
}

std::chrono::nanoseconds Run(int fd, const std::vector<std::uint8_t>& image, BareWait wait) {
  termios line;
  if (tcgetattr(fd, &line) != 0) return FAILED;
  cfmakeraw(&line);
  line.c_cc[VMIN] = 1;
  line.c_cc[VTIME] = 0;
  if (tcsetattr(fd, TCSANOW, &line) != 0) return FAILED;
  const std::uint8_t request[2] = {0x57, 0x05};
  std::uint8_t ack = 0;
  if (write(fd, request, 2) != 2 || read(fd, &ack, 1) != 1 || ack != 0x06) return FAILED;
  if (!Exchange(fd, 0x05, 0x06, wait)) return FAILED;
  const Clock::time_point start = Clock::now();
  for (std::uint8_t byte : image) {
    if (!Exchange(fd, byte, byte, wait)) return FAILED;
  }
  return Clock::now() - start;
}

}  // namespace

std::chrono::nanoseconds BareLoop(const std::string& path, const std::vector<std::uint8_t>& image,
                                  BareWait wait) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return FAILED;
  const std::chrono::nanoseconds took = Run(fd, image, wait);
  close(fd);  // nothing was left to write; a failed close loses nothing
  return took;
}

}  // namespace vannor::bench
