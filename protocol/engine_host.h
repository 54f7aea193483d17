// Everything the protocol engine and the image loader touch outside LinkState: the port, the
// response timer, the window's controls and messages, and the file choice. The serial layer
// supplies the port operations, the window the rest; tests supply a fake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vannor {

// Control identifiers of the main window that the engine reads or writes.
enum ControlId : int {
  IDC_PORT_LIST = 1002,
  IDC_BANNER = 1018,
  IDC_PROGRESS = 1032,
  IDC_UPDATE = 1033,
  IDC_PERCENT = 1036,
  IDC_WRITE_DSP1 = 1039,
  IDC_WRITE_DSP2 = 1040,
  IDC_TAVIX3_DSP1 = 1041,
  IDC_TAVIX3_DSP2 = 1042,
  IDC_VER_READ = 1043,
  IDC_VERSION_DSP1 = 1044,
  IDC_VERSION_DSP2 = 1045,
};

inline constexpr int RESPONSE_TIMER = 1;
inline constexpr int RESPONSE_TIMEOUT_MS = 5000;

class EngineHost {
 public:
  // Port. Writes are queued in order and never awaited; a write that cannot be queued is lost
  // and the response time-out reports it. PortRead never blocks and returns how many bytes it
  // delivered, which may be fewer than asked for.
  virtual bool PortUsable() = 0;
  virtual void PortWrite(const std::uint8_t* bytes, std::size_t count) = 0;
  virtual std::size_t PortPendingCount() = 0;
  virtual std::size_t PortRead(std::uint8_t* buffer, std::size_t count) = 0;

  // The one response timer. An expiry arrives later through OnTimer.
  virtual void StartResponseTimer(int milliseconds) = 0;
  virtual void StopResponseTimer() = 0;

  // Window.
  virtual bool IsChecked(ControlId box) = 0;
  virtual void SetProgress(int position) = 0;
  virtual void SetLabelText(ControlId label, std::string_view text) = 0;
  // Modal: returns when the user has closed the box.
  virtual void ShowMessage(std::string_view text) = 0;

  // The open-file dialog ("out file|*.out"). False when the user cancelled; otherwise the
  // chosen file's full path.
  virtual bool ChooseImageFile(std::string& path) = 0;

 protected:
  ~EngineHost() = default;
};

}  // namespace vannor
