// A serial line as the window sees it: one port at a time, opened by its place in the port
// list (or, from the command line, by device name), switched under the port lock, and a listener
// thread that tells a notification target whenever bytes arrive.
//
// Principles of operation:
// - The line owns everything about its port: the handle, the lock that guards it, the settings
//   to put back at close, the listener and its stop flag. Two lines in one process share nothing.
// - Only the window's thread opens, closes and switches; the listener only copies the handle
//   under the lock, waits on it and posts. A switch holds the lock from before the close until
//   the new port is open, so the listener never waits on a handle that has been closed.
// - Each platform implements this in files of its own (serial/posix, serial/win32); MakeLine()
//   gives the platform's line.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "serial/comm_notify_target.h"
#include "serial/port_io.h"
#include "serial/port_names.h"

namespace vannor {

// Why the last open failed, for a line on standard error; empty reason after a good open.
struct OpenFailure {
  std::string device;  // what the port name resolved to
  std::string reason;  // the system's words, with a hint where one helps
};

class Line : public PortIo {
 public:
  virtual ~Line() = default;

  // Opens the port at index 0 to 9 of the port list ("COM1" to "COM10") exclusively and
  // configures the line. 1 when it is open and configured, 0 otherwise (and then no port is
  // open). A port that is still open is closed first.
  int OpenPort(int index) { return OpenDevice(std::string(PortName(index))); }
  // The same for a device given by name ("COM3", a device path; see ResolveDevice).
  virtual int OpenDevice(const std::string& device) = 0;
  // Closes the open port, putting its settings back; does nothing when none is open.
  virtual void ClosePort() = 0;
  virtual OpenFailure LastOpenFailure() const = 0;

  // Guards the port handle between the listener's copy of it and a port switch.
  virtual std::mutex& PortLock() = 0;
  // Makes the listener's current or next wait return at once, so that it takes the port handle
  // and its stop flag afresh. Does nothing while no listener runs.
  virtual void ReleaseListenerWait() = 0;

  // Starts the listener thread, which posts to mainWindow whenever the open port has received
  // bytes. False when no thread could be made, with the system's reason in errno: the window
  // then hears nothing, and every exchange ends at its time-out.
  virtual bool StartListener(CommNotifyTarget& mainWindow) = 0;
  // The stop sequence: sets the stop flag, releases the listener's wait, waits for the thread to
  // end and closes the port. Safe to call again, and with no listener. Must not run while a port
  // switch holds the port lock.
  virtual void StopLink() = 0;
  virtual bool ListenerRunning() const = 0;
  // CPU time the listener thread has used; negative when it cannot be read, zero with none. Lets
  // tests and benchmarks show that the listener sleeps while nothing new arrives.
  virtual std::chrono::nanoseconds ListenerCpuTime() const = 0;
};

// This platform's serial line.
std::unique_ptr<Line> MakeLine();

}  // namespace vannor
