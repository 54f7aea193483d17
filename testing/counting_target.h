// The window's side of a line's port events for tests of the serial line: counts the line's
// calls (the Windows listener's, a Linux line's at each change of descriptor) and lets the test
// wait for them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "serial/port_events.h"

namespace vannor::testkit {

// The window's notification target: counts calls and lets the test wait for them. onPost, when
// set, runs inside the call (on Windows on the listener thread).
class CountingTarget : public PortEvents {
 public:
  void PortEvent() override {
    if (onPost) onPost();
    std::lock_guard<std::mutex> lock(mutex_);
    ++count_;
    changed_.notify_all();
  }
  int Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
  }
  bool WaitForCount(int atLeast,
                    std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return count_ >= atLeast; });
  }

  std::function<void()> onPost;

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int count_ = 0;
};

}  // namespace vannor::testkit
