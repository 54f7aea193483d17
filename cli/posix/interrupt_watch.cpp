#include "cli/interrupt_watch.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <thread>

namespace vannor::cli {

struct InterruptWatch::State {
  std::function<void()> onInterrupt;
  sigset_t signals{};
  std::atomic<bool> interrupted{false};
  std::thread thread;
};

InterruptWatch::InterruptWatch(std::function<void()> onInterrupt) : state_(new State) {
  state_->onInterrupt = std::move(onInterrupt);
  // These fail only for a signal number that does not exist; all four are standard.
  sigemptyset(&state_->signals);
  sigaddset(&state_->signals, SIGINT);
  sigaddset(&state_->signals, SIGTERM);
  sigaddset(&state_->signals, SIGHUP);
  // SIGUSR2 only ends the watch itself (see the destructor).
  sigaddset(&state_->signals, SIGUSR2);
  // Fails only for an invalid "how": the set is ours.
  (void)pthread_sigmask(SIG_BLOCK, &state_->signals, nullptr);
  state_->thread = std::thread([state = state_] {
    for (;;) {
      int signal = 0;
      if (sigwait(&state->signals, &signal) != 0) continue;  // EINTR: look again
      if (signal == SIGUSR2) return;
      state->interrupted.store(true);
      state->onInterrupt();
    }
  });
}

InterruptWatch::~InterruptWatch() {
  // Ignored: the thread is ours and alive until it takes this signal.
  (void)pthread_kill(state_->thread.native_handle(), SIGUSR2);
  state_->thread.join();
  delete state_;
}

bool InterruptWatch::Interrupted() const {
  return state_->interrupted.load();
}

}  // namespace vannor::cli
