// The serial port on Windows behind the line: the port (overlapped, no sharing) and the listener
// thread that waits for its received-character event and posts to the event thread. The lock
// that keeps the listener's copy of the handle and an open or close apart lives here too.
#pragma once

#include <chrono>
#include <mutex>

#include "serial/port_backend.h"
#include "serial/win32/listener.h"
#include "serial/win32/win32_port.h"

namespace vannor {

class Win32Backend final : public PortBackend {
 public:
  // The system's calls on the device unless a test stands between the port and the driver.
  explicit Win32Backend(CommCalls& calls = SystemCommCalls())
      : port_(calls), listener_(port_, portLock_) {}
  ~Win32Backend() override { StopWatch(); }

  bool Open(const std::string& device, OpenFailure& failure) override;
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
  int AdapterLatencyMs() const override { return port_.AdapterLatencyMs(); }

  bool StartWatch(PortEvents& events, std::string& reason) override {
    return listener_.Start(events, reason);
  }
  void StopWatch() override { listener_.Stop(); }

  // For tests and the benchmark: the listener's CPU time, the open handle, its generation (a
  // reopen changes it), the lock, and pause points in the listener.
  std::chrono::nanoseconds ListenerCpuTime() const { return listener_.CpuTime(); }
  std::mutex& PortLock() { return portLock_; }
  HANDLE PortHandle() const { return port_.Handle(); }
  std::uint32_t PortGeneration() const { return port_.Generation(); }
  void SetListenerPauseHook(ListenerPauseHook hook) { listener_.SetPauseHook(hook); }

 private:
  Win32Port port_;
  // Held while the handle changes; the listener copies the handle under it.
  std::mutex portLock_;
  Win32Listener listener_;
};

}  // namespace vannor
