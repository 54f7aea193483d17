// The signals that would end a program with a port open and that both programs turn into their
// stop sequence instead (Ctrl-C, Ctrl-\, a terminal hang-up, a polite kill, and the user signals
// and alarm nobody here sends on purpose), held back from every thread and handed to the
// program's event loop as a descriptor that turns readable, never to a signal handler
// (process/linux). Windows has none: there the descriptor is never made (process/win32).
#pragma once

namespace vannor {

class StopSignals {
 public:
  // Holds the signals back in the calling thread and the threads it starts later, so that only
  // the descriptor receives them: first thing in main, before any other thread exists. SIGPIPE
  // is ignored: a write to a closed pipe is an error of that write, not the end of the program.
  static void HoldBack();

  // Holds the signals back (in this thread, if HoldBack has not already) and makes the
  // descriptor, from now until destruction. When none can be made the signals get their default
  // effect back: they end the program, as they would have without the watch.
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // What the loop waits on for readability; -1 when there is none.
  int Descriptor() const { return descriptor_; }
  // Takes one signal from the descriptor; false when another pass took it already.
  bool Take();

 private:
  int descriptor_ = -1;
};

}  // namespace vannor
