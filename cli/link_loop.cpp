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
  const std::optional<LinkClock::time_point> earliest = NextDeadline(links);
  if (!earliest) return -1;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(*earliest - LinkClock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

void InterruptAll(const std::vector<RadioLink*>& links) {
  for (RadioLink* link : links) link->Interrupt();
}

}  // namespace vannor::cli
