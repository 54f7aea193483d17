// One open serial port on Linux: the descriptor and everything that must be undone when it
// closes (the low-latency flag, the terminal settings it had before, its exclusive mode).
#pragma once

#include <termios.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "serial/line.h"

namespace vannor {

inline constexpr int INVALID_PORT_HANDLE = -1;

class PosixPort {
 public:
  PosixPort() = default;
  PosixPort(const PosixPort&) = delete;
  PosixPort& operator=(const PosixPort&) = delete;
  ~PosixPort() { Close(); }

  // Opens the device exclusively and configures a raw 38400 8N1 line. False when it did not
  // open; failure then says why. A port that is still open is closed first.
  bool Open(const std::string& path, OpenFailure& failure);
  // Puts the port's settings back and closes it; does nothing when none is open.
  void Close();

  int Handle() const { return fd_; }
  // Counts every change of the handle, so that the listener can tell a new port from the old
  // one even when the new descriptor has the old one's number.
  std::uint32_t Generation() const { return generation_; }

  void Write(const std::uint8_t* bytes, std::size_t count);
  std::size_t PendingCount();
  std::size_t Read(std::uint8_t* buffer, std::size_t count);

 private:
  void SetHandle(int fd);

  int fd_ = INVALID_PORT_HANDLE;
  std::uint32_t generation_ = 0;
  // Whether this program switched the driver to low latency, and so must switch it back.
  bool lowLatencySet_ = false;
  // The terminal settings from before the open, put back at close.
  termios saved_{};
};

}  // namespace vannor
