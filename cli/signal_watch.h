// Turns the signals that would end the program (Ctrl-C, Ctrl-\, a terminal hang-up, a polite
// kill, a stray SIGUSR1/SIGUSR2/SIGALRM) into an event of the command line's loop, so that the
// links end with the stop sequence instead of dying with their ports changed and exclusive.
// SIGPIPE is ignored: a failed write to standard output is reported as such, not a death.
#pragma once

namespace vannor::cli {

class SignalWatch {
 public:
  // Made first thing in main, before any port opens.
  SignalWatch();
  ~SignalWatch();
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

  // What the loop waits on besides the ports (a descriptor on Linux); -1 when none could be
  // made, and then the signals keep their default effect.
  int Descriptor() const { return descriptor_; }
  // Takes the signal that made the descriptor ready; true when one had come.
  bool Take();
  bool Interrupted() const { return interrupted_; }

 private:
  int descriptor_ = -1;
  bool interrupted_ = false;
};

}  // namespace vannor::cli
