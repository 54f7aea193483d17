#include "cli/signal_watch.h"

#include <windows.h>

namespace vannor::cli {

namespace {

// The console calls its handler on a thread of its own and hands it no context, so the events
// it sets live here: made with the first watch, kept until the process ends (a handler may
// still be running while it does).
struct ConsoleEvents {
  HANDLE interrupt = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // the loop ends the links
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);       // the stop sequence has run
};

ConsoleEvents& Events() {
  static ConsoleEvents events;
  return events;
}

// How long a close of the console, a log-off or a shut-down waits for the stop sequence:
// Windows ends the process itself after 5 s.
constexpr DWORD STOP_PATIENCE_MS = 4500;

BOOL WINAPI OnConsoleControl(DWORD type) {
  // Ignored: the event exists, or the handler would not have been registered.
  (void)SetEvent(Events().interrupt);
  // Ctrl-C and Ctrl-Break only ask. The others end the process once the handler returns, so it
  // returns only after the ports are closed and their settings back.
  if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
    // Ignored: a wait that runs out ends the process as Windows would have anyway.
    (void)WaitForSingleObject(Events().done, STOP_PATIENCE_MS);
  }
  return TRUE;
}

}  // namespace

SignalWatch::SignalWatch() {
  const ConsoleEvents& events = Events();
  // Without the events or the handler, Ctrl-C keeps its default effect: it still ends the
  // program.
  if (events.interrupt == nullptr || events.done == nullptr ||
      !SetConsoleCtrlHandler(&OnConsoleControl, TRUE)) {
    return;
  }
  // Ignored: our own events; a watch made again starts from nothing.
  (void)ResetEvent(events.interrupt);
  (void)ResetEvent(events.done);
  waitable_ = reinterpret_cast<std::intptr_t>(events.interrupt);
}

SignalWatch::~SignalWatch() {
  if (waitable_ == NO_WAITABLE) return;
  // A handler that waits for the stop sequence may return now; a Ctrl-C after this has its
  // default effect again. Ignored: our own event and handler.
  (void)SetEvent(Events().done);
  (void)SetConsoleCtrlHandler(&OnConsoleControl, FALSE);
}

bool SignalWatch::Take() {
  if (waitable_ == NO_WAITABLE) return false;
  if (WaitForSingleObject(reinterpret_cast<HANDLE>(waitable_), 0) != WAIT_OBJECT_0) return false;
  interrupted_ = true;
  return true;
}

bool SignalWatch::Pending(int ms) const {
  if (interrupted_) return true;
  if (waitable_ == NO_WAITABLE) {
    Sleep(static_cast<DWORD>(ms));
    return false;
  }
  // The event stays set for the loop: a manual-reset event.
  return WaitForSingleObject(reinterpret_cast<HANDLE>(waitable_), static_cast<DWORD>(ms)) ==
         WAIT_OBJECT_0;
}

}  // namespace vannor::cli
