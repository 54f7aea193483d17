// The serial port on Windows behind the line: the port (overlapped, no sharing) and the listener
// thread that waits for its received-character event and posts to the window.
#pragma once

#include "serial/port_backend.h"
#include "serial/win32/listener.h"
#include "serial/win32/win32_port.h"

namespace vannor {

class Win32Backend final : public PortBackend {
 public:
  Win32Backend() : listener_(port_, PortLock()) {}
  ~Win32Backend() override { StopWatch(); }

  bool Open(const std::string& device, OpenFailure& failure) override {
    return port_.Open(device, failure);
  }
  void Close() override;
  bool IsOpen() const override { return port_.Handle() != INVALID_HANDLE_VALUE; }

  bool Write(const std::uint8_t* bytes, std::size_t count) override {
    return port_.Write(bytes, count);
  }
  std::size_t PendingCount() override { return port_.PendingCount(); }
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
    return port_.Read(buffer, count);
  }
  void DiscardInput() override { port_.DiscardInput(); }
  bool Failed() const override { return port_.Failed(); }
  std::string FailureReason() const override;
  // The listener hears a hang-up itself.
  void NoteHangUp() override {}
  int AdapterLatencyMs() const override { return port_.AdapterLatencyMs(); }

  bool StartWatch(PortEvents& events) override { return listener_.Start(events); }
  void StopWatch() override { listener_.Stop(); }
  bool Watching() const override { return listener_.Running(); }
  void ReleaseWait() override { listener_.ReleaseWait(); }
  std::chrono::nanoseconds ListenerCpuTime() const override { return listener_.CpuTime(); }

  // For tests: the open handle, its generation (a reopen changes it), and pause points in the
  // listener.
  HANDLE PortHandle() const { return port_.Handle(); }
  std::uint32_t PortGeneration() const { return port_.Generation(); }
  void SetListenerPauseHook(ListenerPauseHook hook) { listener_.SetPauseHook(hook); }

 private:
  Win32Port port_;
  Win32Listener listener_;
};

}  // namespace vannor
