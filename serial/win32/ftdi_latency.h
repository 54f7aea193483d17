// An FTDI USB adapter's latency timer, lowered while the port is open. The chip holds received
// bytes until its timer runs out (16 ms unless the user changed it) and the echo of every image
// byte waits for that: behind such an adapter a write takes many times as long. Where FTDI's
// D2XX library (ftd2xx.dll, which FTDI's driver package installs) loads, the adapter behind the
// COM port gets 1 ms before the port opens and its own value back after it closes, as the Linux
// line does with its low-latency request. Without the library, or for another adapter, nothing
// happens: the library is looked for at run time, never shipped or required.
#pragma once

#include <windows.h>

namespace vannor {

class FtdiLatency {
 public:
  FtdiLatency() = default;
  ~FtdiLatency();
  FtdiLatency(const FtdiLatency&) = delete;
  FtdiLatency& operator=(const FtdiLatency&) = delete;

  // Before the port at `path` ("\\.\COM3") opens: lowers the timer of the adapter behind it to
  // 1 ms when it is above 2 ms.
  void Lower(const char* path);
  // After the port has closed (or failed to open): puts the old value back, if it was changed.
  void Restore();
  // The timer in ms that the adapter behind the port opened last runs with, as far as the
  // system tells: D2XX's value after Lower, else FTDI's driver setting (LatencyTimer) for that
  // COM port; -1 when neither knows the port.
  int Timer() const { return timer_; }

 private:
  // Loads the library and finds its functions; false when it is not there.
  bool Load();
  // Opens the adapter that FTDI's driver names for comPort, by its serial number; null when
  // there is none or it does not open.
  void* OpenAdapter(long comPort);

  HMODULE library_ = nullptr;
  bool loadTried_ = false;
  // The functions, typed in the .cpp.
  FARPROC openEx_ = nullptr;
  FARPROC getComPortNumber_ = nullptr;
  FARPROC getLatencyTimer_ = nullptr;
  FARPROC setLatencyTimer_ = nullptr;
  FARPROC close_ = nullptr;
  // The port whose adapter was lowered, and the value it had; 0 when none was.
  long loweredPort_ = 0;
  unsigned char oldTimer_ = 0;
  int timer_ = -1;
};

}  // namespace vannor
