// One open serial port on Linux: the descriptor and everything that must be undone when it
// closes (the low-latency flag, the UART's receive trigger, the terminal settings it had
// before, its exclusive mode). The
// program's event loop waits on the descriptor itself: the port only tells it which one.
#pragma once

#include <termios.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "serial/linux/rx_trigger.h"
#include "serial/port_backend.h"

namespace vannor {

// Why LinuxPort::Open would refuse the device at path, as far as can be told without opening
// it (which could move the modem lines of a real port): missing, no permission, a folder, no
// terminal, a pseudo-terminal master, this program's terminal, the system console. Empty when
// nothing speaks against it; a port held by another program still fails only at the open.
std::string RefusalWithoutOpening(const std::string& path);
// Why the system console is no port for the radio.
inline constexpr std::string_view CONSOLE_REFUSAL =
    "this is the system console; map the COM port to the radio's adapter";

class LinuxPort final : public PortBackend {
 public:
  LinuxPort() = default;
  LinuxPort(const LinuxPort&) = delete;
  LinuxPort& operator=(const LinuxPort&) = delete;
  ~LinuxPort() override { Close(); }

  bool Open(const std::string& path, OpenFailure& failure) override;
  void Close() override;
  bool IsOpen() const override { return fd_ != NO_DESCRIPTOR; }

  bool Write(const std::uint8_t* bytes, std::size_t count) override;
  std::size_t PendingCount() override;
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override;
  void DiscardInput() override;
  bool Failed() const override { return failure_ != 0; }
  std::string FailureReason() const override;

  bool StartWatch(PortEvents& events, std::string& reason) override;
  void StopWatch() override;
  int Waitable() const override { return events_ != nullptr ? fd_ : NO_DESCRIPTOR; }
  int AdapterLatencyMs() const override;
  UartTrigger ReceiveTrigger() const override { return trigger_.InEffect(); }

  // For tests: the open descriptor (or NO_DESCRIPTOR).
  int Handle() const { return fd_; }

 private:
  // Records the first failure: errno, or HANG_UP.
  void Fail(int error);
  // The event loop woke for a port with nothing to read: a hang-up or an error is why.
  void LookForHangUp();
  // Forgets what was read from the driver and not yet delivered.
  void DropReceived();

  int fd_ = NO_DESCRIPTOR;
  PortEvents* events_ = nullptr;
  // 0 while the port works; the errno that ended it, or HANG_UP.
  int failure_ = 0;
  // Whether this program switched the driver to low latency, and so must switch it back.
  bool lowLatencySet_ = false;
  // A UART's receive trigger, at 1 byte while the port is open where this user may set it.
  RxTrigger trigger_;
  // The terminal settings from before the open, put back at close.
  termios saved_{};
  // Bytes read from the driver and not yet delivered: received_[readFrom_, receivedEnd_).
  std::uint8_t received_[256];
  std::size_t readFrom_ = 0;
  std::size_t receivedEnd_ = 0;
};

}  // namespace vannor
