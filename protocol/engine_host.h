// What the protocol engine needs of whoever runs it, besides the port: the response timer, the
// selection boxes, the progress bar and labels, the file choice, and where an exchange's
// outcome goes. The window supplies them with its controls, the command line with a terminal,
// tests with a fake.
#pragma once

#include <string>
#include <string_view>

#include "protocol/exchange_outcome.h"

namespace vannor {

inline constexpr int RESPONSE_TIMEOUT_MS = 5000;

// The four selection boxes: a Write box and a Tavix3 box for each DSP.
enum class Box { WriteDsp1, Tavix3Dsp1, WriteDsp2, Tavix3Dsp2 };
// The labels the engine writes.
enum class Label { Percent, VersionDsp1, VersionDsp2 };

class EngineHost {
 public:
  // The one response timer. An expiry arrives later through the engine's OnTimer.
  virtual void StartResponseTimer(int milliseconds) = 0;
  virtual void StopResponseTimer() = 0;

  virtual bool IsChecked(Box box) = 0;
  // Progress bar position, 0 to 100.
  virtual void SetProgress(int position) = 0;
  virtual void SetLabelText(Label label, std::string_view text) = 0;
  // An exchange or a click ended so; the window shows its message box here (modal: returns
  // when the user has closed it). Version reads end with their labels set and no box.
  virtual void ReportOutcome(const ExchangeOutcome& outcome) = 0;

  // The open-file dialog ("out file|*.out"). False when the user cancelled; otherwise the
  // chosen file's full path.
  virtual bool ChooseImageFile(std::string& path) = 0;

 protected:
  ~EngineHost() = default;
};

// The message box text for an outcome, exactly as the window shows it; empty for none (a
// version read).
std::string_view MessageFor(const ExchangeOutcome& outcome);

}  // namespace vannor
