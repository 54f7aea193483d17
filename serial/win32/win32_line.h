// The serial line on Windows: one port (overlapped, no sharing), its lock, and the listener that
// waits for its received-character event.
#pragma once

#include "serial/line.h"
#include "serial/win32/listener.h"
#include "serial/win32/win32_port.h"

namespace vannor {

class Win32Line final : public Line {
 public:
  Win32Line() = default;
  ~Win32Line() override { StopLink(); }
  Win32Line(const Win32Line&) = delete;
  Win32Line& operator=(const Win32Line&) = delete;

  bool PortUsable() override { return port_.Handle() != INVALID_HANDLE_VALUE; }
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

  // For tests: the open handle (or INVALID_HANDLE_VALUE), and pause points in the listener.
  HANDLE PortHandle() const { return port_.Handle(); }
  void SetListenerPauseHook(ListenerPauseHook hook) { listener_.SetPauseHook(hook); }

 private:
  std::mutex portLock_;
  Win32Port port_;
  Win32Listener listener_{port_, portLock_};
  OpenFailure lastFailure_;
};

}  // namespace vannor
