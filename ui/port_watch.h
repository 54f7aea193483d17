// The window's own event loop hearing the serial port, for the link's PortEvent. On GTK a GLib
// source on the descriptor the link names, so that an arriving byte reaches the engine with no
// thread in between. On Windows the listener thread calls, and the call is queued to the
// window's thread as a wx thread event.
#pragma once

#include <wx/event.h>
#include <wx/window.h>

#include <functional>

namespace vannor {

class PortWatch {
 public:
  // Called on the window's thread when the port has something to read; hungUp when it also
  // reported a hang-up or an error (GTK).
  using Ready = std::function<void(bool hungUp)>;
  // The descriptor to watch now, or -1 (the link's Waitable).
  using Waitable = std::function<int()>;

  PortWatch(wxWindow& window, Ready ready, Waitable waitable);
  ~PortWatch();
  PortWatch(const PortWatch&) = delete;
  PortWatch& operator=(const PortWatch&) = delete;

  // The link's PortEvent. GTK: watches what Waitable names now, in place of any earlier one.
  // Windows, from the listener thread: Ready follows on the window's thread; never blocks.
  void PortEvent();

 private:
  struct Source;                        // GTK: the GLib source's call
  void OnQueued(wxThreadEvent& event);  // Windows: the queued call
  void Unwatch();                       // GTK: the source removed, if there is one

  wxWindow& window_;
  Ready ready_;
  Waitable waitable_;
  unsigned source_ = 0;      // GTK: the GLib source
  bool inReady_ = false;     // GTK: Ready runs
  bool watchAfter_ = false;  // GTK: a loop inside Ready heard the port; watch again after it
};

}  // namespace vannor
