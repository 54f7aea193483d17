// The window's side of a line's port events for tests of the serial line: counts the Windows
// listener's posts and lets the test wait for them, and keeps the descriptor a Linux line asks
// to be watched.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "serial/port_events.h"

namespace vannor::testkit {

// The window's notification target: counts posts and lets the test wait for them. onPost, when
// set, runs on the listener thread inside the post.
class CountingTarget : public PortEvents {
 public:
  void PostCommNotify() override {
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

  void WatchDescriptor(int descriptor) override { watched = descriptor; }

  std::function<void()> onPost;
  // The descriptor the line last asked to be watched.
  int watched = NO_DESCRIPTOR;

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int count_ = 0;
};

}  // namespace vannor::testkit
