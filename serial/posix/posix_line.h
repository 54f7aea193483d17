// The serial line on Linux: one port (termios, flock, exclusive mode), its lock, and the epoll
// listener that watches it.
#pragma once

#include "serial/line.h"
#include "serial/posix/listener.h"
#include "serial/posix/posix_port.h"

namespace vannor {

class PosixLine final : public Line {
 public:
  PosixLine() = default;
  ~PosixLine() override { StopLink(); }
  PosixLine(const PosixLine&) = delete;
  PosixLine& operator=(const PosixLine&) = delete;

  bool PortUsable() override { return port_.Handle() != INVALID_PORT_HANDLE; }
  void Write(const std::uint8_t* bytes, std::size_t count) override { port_.Write(bytes, count); }
  std::size_t PendingCount() override { return port_.PendingCount(); }
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
    return port_.Read(buffer, count);
  }

  int OpenDevice(const std::string& device) override;
  void ClosePort() override;
  OpenFailure LastOpenFailure() const override { return lastFailure_; }

  std::mutex& PortLock() override { return portLock_; }
  void ReleaseListenerWait() override { listener_.ReleaseWait(); }
  bool StartListener(CommNotifyTarget& mainWindow) override { return listener_.Start(mainWindow); }
  void StopLink() override;
  bool ListenerRunning() const override { return listener_.Running(); }
  std::chrono::nanoseconds ListenerCpuTime() const override { return listener_.CpuTime(); }

  // For tests: the open descriptor (or INVALID_PORT_HANDLE), and pause points in the listener.
  int PortHandle() const { return port_.Handle(); }
  void SetListenerPauseHook(ListenerPauseHook hook) { listener_.SetPauseHook(hook); }

 private:
  std::mutex portLock_;
  PosixPort port_;
  PosixListener listener_{port_, portLock_};
  OpenFailure lastFailure_;
};

}  // namespace vannor
