// What a test's thread and an event thread that polls share: work handed over (Call queues it,
// wakes the event thread through a descriptor it polls, and waits until it has run there), texts
// shown there, and the thread's CPU time for the benchmarks' figures.
#pragma once

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace vannor::testkit {

class EventCalls {
 public:
  EventCalls();
  ~EventCalls();
  EventCalls(const EventCalls&) = delete;
  EventCalls& operator=(const EventCalls&) = delete;

  // What the event thread polls for readability.
  int Waitable() const { return wakeFd_; }
  // From any other thread: runs `work` on the event thread, after everything queued before it.
  void Call(const std::function<void()>& work);
  // Call for an answer.
  template <typename Work>
  std::invoke_result_t<Work> Ask(Work work) {
    std::invoke_result_t<Work> answer{};
    Call([&] { answer = work(); });
    return answer;
  }
  // On the event thread, when Waitable is readable: runs what is queued; true once Quit ran.
  bool RunPending();
  // On the event thread, inside a call: RunPending answers true from now on.
  void Quit() { quit_ = true; }

 private:
  const int wakeFd_;
  std::mutex mutex_;
  std::deque<std::function<void()>> calls_;
  bool quit_ = false;  // the event thread's
};

// Texts one thread shows (message boxes) and another waits for.
class TextLog {
 public:
  void Add(std::string_view text);
  // Waits, at most `limit`, until `count` texts have been added in all.
  bool WaitFor(std::size_t count, std::chrono::milliseconds limit);
  std::vector<std::string> All();

 private:
  std::mutex mutex_;
  std::condition_variable added_;
  std::vector<std::string> texts_;
};

// The CPU time `thread` has used; negative when it cannot be read (the thread has ended).
std::chrono::nanoseconds ThreadCpuOf(pthread_t thread);

}  // namespace vannor::testkit
