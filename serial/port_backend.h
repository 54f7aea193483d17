// One platform's port, behind the line: the open device with its saved settings, and whatever
// tells the event loop about it (the descriptor on Linux, the listener thread on Windows). The
// line holds the logic the platforms share; each platform implements this in files of its own
// (serial/linux, serial/win32), and everything only one platform has stays there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "serial/port_events.h"
#include "serial/uart_trigger.h"

namespace vannor {

// Why the last open failed, for a line on standard error; empty reason after a good open.
struct OpenFailure {
  std::string device;  // what the port name resolved to
  std::string reason;  // the system's words, with a hint where one helps
};

class PortBackend {
 public:
  virtual ~PortBackend() = default;

  // Opens the device exclusively and configures a raw 38400 8N1 line. False when it did not
  // open; failure then says why. Called with no port open; a port opened while watching is
  // watched from then on.
  virtual bool Open(const std::string& device, OpenFailure& failure) = 0;
  // Stops watching the port, puts its settings back and closes it; nothing when none is open.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;

  virtual bool Write(const std::uint8_t* bytes, std::size_t count) = 0;
  virtual std::size_t PendingCount() = 0;
  virtual std::size_t Read(std::uint8_t* buffer, std::size_t count) = 0;
  virtual void DiscardInput() = 0;
  // Whether the open port has failed, and in what words the system says why (with the
  // system's own code where it has one).
  virtual bool Failed() const = 0;
  virtual std::string FailureReason() const = 0;
  // The latency timer in ms of the USB adapter behind the open port, where the system tells it
  // (Windows: an FTDI adapter's); -1 when it does not.
  virtual int AdapterLatencyMs() const { return -1; }
  // The receive FIFO trigger of the UART behind the open port, where the system tells it.
  virtual UartTrigger ReceiveTrigger() const { return {}; }

  // Starts telling `events` about the port (see PortEvents). False, with the system's reason in
  // `reason`, when that cannot start.
  virtual bool StartWatch(PortEvents& events, std::string& reason) = 0;
  // Ends that: afterwards nothing calls `events` any more. Safe to call again.
  virtual void StopWatch() = 0;
  // What the event loop waits on for the watched port: its descriptor where the loop waits on
  // the port itself (Linux), else NO_DESCRIPTOR (the listener calls instead).
  virtual int Waitable() const { return NO_DESCRIPTOR; }
};

// This platform's port.
std::unique_ptr<PortBackend> MakePortBackend();

}  // namespace vannor
