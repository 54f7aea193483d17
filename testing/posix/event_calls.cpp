#include "testing/posix/event_calls.h"

#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>

namespace vannor::testkit {

// A failed eventfd leaves -1, which poll never reports readable: a test's Call then hangs until
// ctest's limit, which names the test.
EventCalls::EventCalls() : wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

EventCalls::~EventCalls() {
  (void)close(wakeFd_);  // ours, and nobody waits on it any more
}

void EventCalls::Call(const std::function<void()>& work) {
  std::mutex doneMutex;
  std::condition_variable doneSignal;
  bool done = false;
  {
    std::lock_guard lock(mutex_);
    calls_.emplace_back([&] {
      work();
      std::lock_guard doneLock(doneMutex);
      done = true;
      doneSignal.notify_one();
    });
  }
  const std::uint64_t one = 1;
  // Ignored: a counter at its maximum wakes the thread just as well.
  (void)write(wakeFd_, &one, sizeof one);
  std::unique_lock lock(doneMutex);
  doneSignal.wait(lock, [&] { return done; });
}

bool EventCalls::RunPending() {
  std::uint64_t count;
  // EAGAIN when a previous pass already took the wake-up: the queue is looked at anyway.
  (void)read(wakeFd_, &count, sizeof count);
  for (;;) {
    std::function<void()> work;
    {
      std::lock_guard lock(mutex_);
      if (calls_.empty()) return quit_;
      work = std::move(calls_.front());
      calls_.pop_front();
    }
    work();
  }
}

void TextLog::Add(std::string_view text) {
  std::lock_guard lock(mutex_);
  texts_.emplace_back(text);
  added_.notify_all();
}

bool TextLog::WaitFor(std::size_t count, std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return added_.wait_for(lock, limit, [&] { return texts_.size() >= count; });
}

std::vector<std::string> TextLog::All() {
  std::lock_guard lock(mutex_);
  return texts_;
}

std::chrono::nanoseconds ThreadCpuOf(pthread_t thread) {
  clockid_t clock;
  timespec used{};
  if (pthread_getcpuclockid(thread, &clock) != 0 || clock_gettime(clock, &used) != 0) {
    return std::chrono::nanoseconds(-1);
  }
  return std::chrono::seconds(used.tv_sec) + std::chrono::nanoseconds(used.tv_nsec);
}

}  // namespace vannor::testkit
