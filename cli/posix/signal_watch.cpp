#include "cli/signal_watch.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "process/linux/stop_signals.h"

namespace vannor::cli {

SignalWatch::SignalWatch() {
  // Ignored: SIG_IGN for a valid signal cannot fail.
  (void)signal(SIGPIPE, SIG_IGN);
  const sigset_t signals = StopSignals();
  const int descriptor = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
  // Without a descriptor the signals are left as they were: they still end the program.
  if (descriptor < 0) return;
  waitable_ = descriptor;
  // Fails only for an invalid "how": the set is ours.
  (void)sigprocmask(SIG_BLOCK, &signals, nullptr);
}

SignalWatch::~SignalWatch() {
  // Ignored: our own descriptor, which carried no data we still need.
  if (waitable_ != NO_WAITABLE) (void)close(static_cast<int>(waitable_));
}

bool SignalWatch::Take() {
  signalfd_siginfo info;
  const ssize_t got = read(static_cast<int>(waitable_), &info, sizeof info);
  if (got != static_cast<ssize_t>(sizeof info)) return false;  // EAGAIN: another took it
  interrupted_ = true;
  return true;
}

}  // namespace vannor::cli
