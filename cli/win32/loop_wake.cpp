#include "cli/loop_wake.h"

#include <windows.h>

namespace vannor::cli {

LoopWake::LoopWake() {
  // Auto-reset: one wait takes it, however many listeners posted meanwhile. Without it no
  // listener is heard, and every link ends at its time-out.
  const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (event != nullptr) waitable_ = reinterpret_cast<std::intptr_t>(event);
}

LoopWake::~LoopWake() {
  // Ignored: our own event; the links that posted to it are gone.
  if (waitable_ != 0) (void)CloseHandle(reinterpret_cast<HANDLE>(waitable_));
}

void LoopWake::Wake() {
  // Ignored: our own event; a failed set is a lost post, which the time-out reports.
  if (waitable_ != 0) (void)SetEvent(reinterpret_cast<HANDLE>(waitable_));
}

}  // namespace vannor::cli
