// A plain blocking client on the tool's end of the line, as small as possible, so that what the
// simulator tests see is the simulator and nothing of the tool.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace vannor::sim::testing {

class LineClient {
 public:
  // Opens the slave (or a link to it) and makes it raw: the client's side, never the master.
  explicit LineClient(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return;
    termios line;
    if (tcgetattr(fd_, &line) != 0) return;
    cfmakeraw(&line);
    if (tcsetattr(fd_, TCSANOW, &line) != 0) return;
    raw_ = true;
  }
  ~LineClient() {
    if (fd_ >= 0) close(fd_);
  }
  LineClient(const LineClient&) = delete;
  LineClient& operator=(const LineClient&) = delete;

  bool Ok() const { return fd_ >= 0 && raw_; }

  bool Send(std::vector<std::uint8_t> bytes) {
    return write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }

  // Up to `count` bytes, waiting at most `limit` in all; fewer when the line stays quiet or
  // is gone (then Gone() is true).
  std::vector<std::uint8_t> Receive(std::size_t count,
                                    std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    std::vector<std::uint8_t> got;
    const auto giveUp = std::chrono::steady_clock::now() + limit;
    while (got.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          giveUp - std::chrono::steady_clock::now());
      pollfd ready = {fd_, POLLIN, 0};
      if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) break;
      std::uint8_t buffer[512];
      const std::size_t want = std::min(sizeof buffer, count - got.size());
      const ssize_t n = read(fd_, buffer, want);
      if (n <= 0) {
        gone_ = true;
        break;
      }
      got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }

  // Sends each byte and waits for its echo; returns the echoes.
  std::vector<std::uint8_t> EchoEach(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint8_t> echoes;
    for (std::uint8_t b : bytes) {
      if (!Send({b})) break;
      const std::vector<std::uint8_t> echo = Receive(1);
      if (echo.empty()) break;
      echoes.push_back(echo[0]);
    }
    return echoes;
  }

  bool Gone() const { return gone_; }
  int Fd() const { return fd_; }

 private:
  int fd_ = -1;
  bool raw_ = false;
  bool gone_ = false;
};

}  // namespace vannor::sim::testing
