// The window's notification target for tests of the serial line: counts the listener's posts
// and lets the test wait for them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "serial/comm_notify_target.h"

namespace vannor::testkit {

// The window's notification target: counts posts and lets the test wait for them. onPost, when
// set, runs on the listener thread inside the post.
class CountingTarget : public CommNotifyTarget {
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

  std::function<void()> onPost;

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int count_ = 0;
};

}  // namespace vannor::testkit
