#include "process/stop_signals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <initializer_list>

namespace vannor {

namespace {

sigset_t SignalSet() {
  sigset_t signals;
  // These fail only for a signal number that does not exist; all of them are standard.
  sigemptyset(&signals);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM}) {
    sigaddset(&signals, signal);
  }
  return signals;
}

}  // namespace

void StopSignals::HoldBack() {
  // Ignored: SIG_IGN for a valid signal cannot fail.
  (void)signal(SIGPIPE, SIG_IGN);
  const sigset_t signals = SignalSet();
  // Fails only for an invalid "how": the set is ours.
  (void)pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

StopSignals::StopSignals() {
  HoldBack();
  const sigset_t signals = SignalSet();
  descriptor_ = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
  // Fails only for a bad "how".
  if (descriptor_ < 0) (void)pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
}

StopSignals::~StopSignals() {
  // Ignored: our own descriptor; the signals stay held back until the process ends.
  if (descriptor_ >= 0) (void)close(descriptor_);
}

bool StopSignals::Take() {
  signalfd_siginfo info;
  // A short read (EAGAIN) means another pass took it.
  return read(descriptor_, &info, sizeof info) == static_cast<ssize_t>(sizeof info);
}

}  // namespace vannor
