// Turns Ctrl-C (and a terminal hang-up or a polite kill) into a call on an ordinary thread, so
// that the links can end with the stop sequence instead of dying with their ports exclusive.
#pragma once

#include <functional>

namespace vannor::cli {

class InterruptWatch {
 public:
  // Must be made before any other thread starts, so that every thread inherits the blocked
  // signals and only the watch receives them. onInterrupt runs on the watch's thread, once for
  // each signal.
  explicit InterruptWatch(std::function<void()> onInterrupt);
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // Whether a signal has come.
  bool Interrupted() const;

 private:
  struct State;
  State* state_;
};

}  // namespace vannor::cli
