// The listener thread on Windows: waits for the open port's received-character event with an
// overlapped WaitCommEvent, together with an event that releases the wait, and posts a
// notification for every event. It reads the port's handle only under the port lock.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "serial/port_events.h"
#include "serial/win32/listener_point.h"
#include "serial/win32/win32_port.h"

namespace vannor {

class Win32Listener {
 public:
  Win32Listener(Win32Port& port, std::mutex& portLock) : port_(port), portLock_(portLock) {}
  Win32Listener(const Win32Listener&) = delete;
  Win32Listener& operator=(const Win32Listener&) = delete;
  ~Win32Listener() { Stop(); }

  // Sets events, then starts the thread (created suspended, resumed once events is
  // set). False, with the system's reason in `reason`, when the thread or its events cannot be
  // made. The stop flag is cleared first, as the window's initialisation does.
  bool Start(PortEvents& events, std::string& reason);
  // Sets the stop flag, releases the wait and waits for the thread to end. Safe to call again.
  void Stop();
  bool Running() const { return thread_ != nullptr; }

  // Sets the release event: the listener ends a wait it has pending, copies the port that is
  // open then and arms it before it waits again. Does nothing while no listener runs.
  void ReleaseWait();
  // Ends the listener's wait on the open port, if it has one, before the port is closed. Call
  // under the port lock (or with no listener running). Windows ends a wait whose handle closes,
  // but Wine's wait polls the handle and, once it is gone, may never see the end; either way the
  // record must be free before the listener starts its next wait.
  void Withdraw();

  std::chrono::nanoseconds CpuTime() const;
  // Set only while no listener runs.
  void SetPauseHook(ListenerPauseHook hook) { pauseHook_ = hook; }

 private:
  static unsigned __stdcall ThreadMain(void* self);
  // The thread procedure: copy the handle, wait, post; until the stop flag is set.
  void ListenerMain();
  // Starts a wait on port with the listener's own record. Under the port lock.
  enum class WaitStart { Pending, Done, Failed };
  WaitStart StartWait(HANDLE port, std::uint32_t generation);
  // Whether the listener's wait has ended (its record or its event says so).
  bool WaitOver() const;
  // Ends a wait that is still pending on port by clearing its event mask (or, for a driver that
  // ignores that, by cancelling it), and waits until the record is free, a bounded time: a
  // driver that keeps it even then has gone wrong, and the port is taken for gone. Under the
  // port lock, with port still open.
  void EndWaitOn(HANDLE port);
  // Ends the wait that the release interrupted. Whether the record is free again (else the
  // driver kept it).
  bool EndPendingWait(HANDLE port, std::uint32_t generation);
  void CloseHandles();
  // What a wake found on the port of `generation`: bytes waiting, nothing, a port that went away,
  // or a port closed (or released) meanwhile.
  enum class Wake { Bytes, Nothing, Gone, Moved };
  // Looks at what waits, under the port lock.
  Wake Look(std::uint32_t generation);
  // After a wait that ended by itself: looks, and looks again a few times a moment apart when
  // a character was announced and nothing has been read since the wake.
  Wake LookAfterWake(std::uint32_t generation, bool announced);
  // Whether a failed wait on the port of `generation` may be tried again (Win32Port::
  // MayTryAgain, under the port lock); a port closed meanwhile is no failure.
  bool MayWaitAgain(std::uint32_t generation, DWORD error, int& failedWaits);

  Win32Port& port_;
  std::mutex& portLock_;
  PortEvents* events_ = nullptr;
  std::atomic<std::int32_t> stopListener_{0};
  ListenerPauseHook pauseHook_ = nullptr;
  // Set by the port switch and the stop sequence; reset under the port lock together with the
  // copy of the handle, so that a release is never lost between the two.
  HANDLE release_ = nullptr;
  // A wait's own record, never shared with the engine's reads and writes, and the events word
  // the port fills in when the wait completes. A fresh one for every wait: two, used by turns,
  // so that a driver that fills in a wait's record a moment after it set the record's event
  // (Wine does) never writes into the record of the wait after it; and one is handed to a new
  // wait only once its last wait's result is in it. A record that a driver kept even when asked
  // to cancel is left to it for good, and replaced.
  struct WaitRecord {
    OVERLAPPED overlapped{};
    DWORD events = 0;
    bool pending = false;       // its last wait went to the driver
    bool keptByDriver = false;  // under the port lock
  };
  // A record with an event of its own; null when Windows has no event to give.
  static std::unique_ptr<WaitRecord> MakeWaitRecord();
  WaitRecord& Current() const { return *records_[current_]; }
  std::unique_ptr<WaitRecord> records_[2];
  int current_ = 0;  // the record of the last wait started
  // The port generation the last wait was started on; under the port lock.
  bool waitStarted_ = false;
  std::uint32_t waitGeneration_ = 0;
  HANDLE thread_ = nullptr;
};

}  // namespace vannor
