#include "cli/link_loop.h"

#include <chrono>
#include <optional>

namespace vannor::cli {

std::optional<LinkClock::time_point> NextDeadline(const std::vector<RadioLink*>& links) {
  std::optional<LinkClock::time_point> earliest;
  for (const RadioLink* link : links) {
    const auto due = link->Deadline();
    if (due && (!earliest || *due < *earliest)) earliest = due;
  }
  return earliest;
}

int MillisecondsToNextTimer(const std::vector<RadioLink*>& links) {
  const LinkClock::time_point now = LinkClock::now();
  int earliest = -1;
  for (const RadioLink* link : links) {
    const int left = link->MillisecondsToDeadline(now);
    if (left >= 0 && (earliest < 0 || left < earliest)) earliest = left;
  }
  return earliest;
}

void InterruptAll(const std::vector<RadioLink*>& links) {
  for (RadioLink* link : links) link->Interrupt();
}

}  // namespace vannor::cli
