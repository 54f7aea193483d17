// The signals that would end a program with a port open and that both programs turn into their
// stop sequence instead (Ctrl-C, Ctrl-\, a terminal hang-up, a polite kill, and the user signals
// and alarm nobody here sends on purpose).
#pragma once

#include <signal.h>

#include <initializer_list>

namespace vannor {

inline sigset_t StopSignals() {
  sigset_t signals;
  // These fail only for a signal number that does not exist; all of them are standard.
  sigemptyset(&signals);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM}) {
    sigaddset(&signals, signal);
  }
  return signals;
}

}  // namespace vannor
