// When a host's one-shot timer is set again for a link's deadline: only when none is set, or the
// deadline has come nearer than the one it is set for.
#include "protocol/timer_arming.h"

#include <gtest/gtest.h>

#include <optional>

namespace vannor {
namespace {

using std::chrono::milliseconds;

TEST(TimerArmingTest, SetAgainOnlyWithoutATimerOrForAnEarlierDeadline) {
  const EngineClock::time_point set = EngineClock::time_point() + milliseconds(5000);
  struct Row {
    const char* name;
    std::optional<EngineClock::time_point> setFor;
    EngineClock::time_point deadline;
    bool mustSet;
  };
  const Row rows[] = {
      {"no timer", std::nullopt, set, true},
      {"an earlier deadline", set, set - milliseconds(1), true},
      {"the same deadline", set, set, false},
      {"a later deadline", set, set + milliseconds(1), false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TimerArming arming;
    if (row.setFor) arming.Set(*row.setFor);
    EXPECT_EQ(arming.MustSet(row.deadline), row.mustSet);
    // A timer that fired or was stopped is set again for any deadline.
    arming.Clear();
    EXPECT_TRUE(arming.MustSet(row.deadline));
  }
}

}  // namespace
}  // namespace vannor
