#include "app/end_signals.h"

#include <glib-unix.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "process/linux/stop_signals.h"

namespace vannor {

namespace {

gboolean OnEndSignal(gint descriptor, GIOCondition /*condition*/, gpointer self) {
  signalfd_siginfo info;
  // The loop reports the descriptor readable; a short read means another pass took it.
  if (read(descriptor, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) {
    return G_SOURCE_CONTINUE;
  }
  // This runs in the loop, on the window's thread, where ending the window is safe.
  static_cast<std::function<void()>*>(self)->operator()();
  return G_SOURCE_CONTINUE;
}

}  // namespace

void EndSignals::HoldBack() {
  // Ignored: SIG_IGN for a valid signal cannot fail. A write to a closed pipe is an error of
  // that write, not the end of the program.
  (void)signal(SIGPIPE, SIG_IGN);
  const sigset_t signals = StopSignals();
  // Fails only for an invalid "how": the set is ours.
  (void)pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

EndSignals::EndSignals(std::function<void()> onEnd) : onEnd_(std::move(onEnd)) {
  const sigset_t signals = StopSignals();
  descriptor_ = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
  if (descriptor_ < 0) {
    // Without a descriptor the signals get their default action back: they end the program,
    // as they would have without this watch.
    (void)pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);  // fails only for a bad "how"
    return;
  }
  watch_ = g_unix_fd_add(descriptor_, G_IO_IN, OnEndSignal, &onEnd_);
}

EndSignals::~EndSignals() {
  // Ignored: false only for a source that is gone already.
  if (watch_ != 0) (void)g_source_remove(watch_);
  // Ignored: our own descriptor; the signals stay held back until the process ends.
  if (descriptor_ >= 0) (void)close(descriptor_);
}

}  // namespace vannor
