// A serial line: one port at a time, opened by its place in the port list (or by device name),
// and watched for arriving bytes on its event loop's behalf.
//
// Principles of operation:
// - The line owns everything about its port through the platform's backend (the open device,
//   its saved settings, whatever watches it) and the reason of the last failed open. Two lines
//   in one process share nothing.
// - Only the event thread opens, closes and watches. How arrivals reach it is the platform's
//   matter (see PortEvents).
// - A port that fails (hang-up, adapter gone, refused write) is reported through PortFailed;
//   the engine ends its exchange and closes it, so a dead port is never waited on.
#pragma once

#include <memory>
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
  // The same for a device given by name ("COM3", a device path; see ResolvePortName).
  int OpenDevice(const std::string& device);
  // Opens again the device that `port` led to when it was resolved (OpenedPort), even when its
  // link leads elsewhere now: the port used before a pick that failed. 1 or 0 as above.
  int Reopen(const ResolvedPort& port);
  // What the open port's name resolved to when it opened; an empty path when none is open.
  const ResolvedPort& OpenedPort() const { return opened_; }
  // Closes the open port, putting its settings back; does nothing when none is open.
  void ClosePort() override;
  const OpenFailure& LastOpenFailure() const { return lastFailure_; }
  // The device the open (or last) port resolved to, for messages.
  const std::string& Device() const { return lastFailure_.device; }

  // Starts telling `events` about the open port and every port opened after (see PortEvents).
  // False, with the system's reason in errno, when that cannot start: every exchange then ends
  // at its time-out.
  bool StartWatching(PortEvents& events);
  bool Watching() const { return watching_; }
  // Why the last StartWatching failed, in the system's words.
  const std::string& WatchFailure() const { return watchFailure_; }
  // What the event loop waits on for the port (PortBackend::Waitable).
  int Waitable() const { return backend_->Waitable(); }
  // The stop sequence: stop watching, close the port, settings back. Safe to call again.
  void Stop();

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
  int HoldBackMs() override { return backend_->AdapterLatencyMs(); }

  PortBackend& Backend() { return *backend_; }

 private:
  int Open(const ResolvedPort& port, const std::string& device);

  std::unique_ptr<PortBackend> backend_;
  bool watching_ = false;
  std::string watchFailure_;
  ResolvedPort opened_;
  OpenFailure lastFailure_;
  std::string lastFailureReason_;
};

}  // namespace vannor
