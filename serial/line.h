// A serial line as the window sees it: one port at a time, opened by its place in the port
// list (or, from the command line, by device name), switched under the port lock, and watched
// for arriving bytes on the window's behalf.
//
// Principles of operation:
// - The line owns everything about its port: the platform's port (handle, saved settings,
//   listener), the lock that guards it and the reason of the last failed open. Two lines in one
//   process share nothing.
// - Only the event thread opens, closes and switches. On Linux the event thread also waits on
//   the port; on Windows a listener thread copies the handle under the lock, waits on it and
//   posts. A switch holds the lock from before the close until the new port is open.
// - A port that fails (hang-up, adapter gone, refused write) is reported through PortFailed;
//   the engine ends its exchange and closes it, so a dead port is never waited on.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "serial/port_backend.h"
#include "serial/port_events.h"
#include "serial/port_io.h"
#include "serial/port_names.h"

namespace vannor {

class Line final : public PortIo {
 public:
  // The platform's port unless a test hands in another.
  explicit Line(std::unique_ptr<PortBackend> backend = MakePortBackend());
  ~Line();
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;

  // Opens the port at index 0 to 9 of the port list ("COM1" to "COM10") exclusively and
  // configures the line. 1 when it is open and configured, 0 otherwise (and then no port is
  // open). A port that is still open is closed first.
  int OpenPort(int index) { return OpenDevice(std::string(PortName(index))); }
  // The same for a device given by name ("COM3", a device path; see ResolveDevice).
  int OpenDevice(const std::string& device);
  // Closes the open port, putting its settings back; does nothing when none is open.
  void ClosePort() override;
  const OpenFailure& LastOpenFailure() const { return lastFailure_; }
  // The device the open (or last) port resolved to, for messages.
  const std::string& Device() const { return lastFailure_.device; }

  // Guards the port between a listener's copy of it and a port switch.
  std::mutex& PortLock() { return backend_->PortLock(); }
  void ReleaseListenerWait() { backend_->ReleaseWait(); }

  // Starts telling mainWindow about the open port and every port opened after: the descriptor
  // to watch (Linux) or a listener thread's posts (Windows). False, with the system's reason in
  // errno, when no listener could start: every exchange then ends at its time-out.
  bool StartListener(PortEvents& mainWindow);
  // The stop sequence: stop watching (the listener ended), close the port, settings back. Safe
  // to call again, and with no listener. Must not run while a port switch holds the port lock.
  void StopLink();
  bool ListenerRunning() const { return backend_->Watching(); }
  std::chrono::nanoseconds ListenerCpuTime() const { return backend_->ListenerCpuTime(); }

  // The event loop found the port's descriptor ready; hungUp when it also reported a hang-up or
  // an error. Call before the engine's OnCommNotify.
  void OnPortReady(bool hungUp);
  // Why the port failed, in the system's words ("the port went away" when it has none).
  std::string FailureReason() const;
  // The open port's USB adapter's latency timer in ms, where the system tells it; -1 otherwise.
  int AdapterLatencyMs() const { return backend_->AdapterLatencyMs(); }
  UartTrigger ReceiveTrigger() const { return backend_->ReceiveTrigger(); }

  // PortIo.
  bool PortUsable() override { return backend_->IsOpen(); }
  bool Write(const std::uint8_t* bytes, std::size_t count) override;
  std::size_t PendingCount() override { return backend_->PendingCount(); }
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
    return backend_->Read(buffer, count);
  }
  void DiscardInput() override { backend_->DiscardInput(); }
  bool PortFailed() override { return backend_->IsOpen() && backend_->Failed(); }

  PortBackend& Backend() { return *backend_; }

 private:
  std::unique_ptr<PortBackend> backend_;
  OpenFailure lastFailure_;
  std::string lastFailureReason_;
};

}  // namespace vannor
