// One radio on one line, driven from the command line: the same protocol engine and serial line
// as the window. The link does no waiting of its own: the command line's one event loop watches
// every link's port and timer and calls it back (see link_loop.h).
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "cli/loop_wake.h"
#include "protocol/engine_host.h"
#include "protocol/exchange_trace.h"
#include "protocol/latency_check.h"
#include "protocol/protocol_engine.h"
#include "serial/line.h"

namespace vannor::cli {

struct WriteRequest {
  bool writeDsp1 = false;
  bool tavix3Dsp1 = false;
  bool writeDsp2 = false;
  bool tavix3Dsp2 = false;
};

// How a link's run ended.
struct LinkOutcome {
  int exitCode = 0;
  std::string text;  // one line: the versions, "written", or why not
};

class RadioLink final : public EngineHost, public PortEvents {
 public:
  // `port` is COMn or a device path; `wake` is the loop's that will run the link.
  RadioLink(std::string port, bool verbose, LoopWake& wake);
  ~RadioLink();
  RadioLink(const RadioLink&) = delete;
  RadioLink& operator=(const RadioLink&) = delete;

  // Opens the port and starts watching it; false (with the outcome set) when it did not open.
  bool Open();
  // Before a write of `length` bytes: says on standard error when the port's USB adapter holds
  // received bytes long enough to slow the write down (where the system tells its setting).
  void TellSlowAdapter(std::uint32_t length) const;
  // Starts the exchange; the loop then runs it until the link is Done().
  void StartVersionRead();
  void StartWrite(const WriteRequest& request, const std::uint8_t* image, std::uint32_t length);
  // Follows the link's exchange (the progress view), besides the trace.
  void Follow(ExchangeObserver& observer) { (void)engine_.AddObserver(&observer); }

  bool Done() const { return outcome_.has_value(); }
  // The descriptor the loop must watch for this link, or NO_DESCRIPTOR.
  int Descriptor() const { return descriptor_; }
  // Whether a listener thread posts for this link (Windows).
  bool Listening() const { return line_.ListenerRunning(); }
  // When the response timer expires, if it runs.
  std::optional<std::chrono::steady_clock::time_point> TimerDue() const;

  // From the loop: the port is ready (hungUp when it also reported a hang-up or an error), or
  // the time has come for the timer.
  void OnPortReady(bool hungUp);
  void OnTimeReached(std::chrono::steady_clock::time_point now);
  // A signal: ends the exchange at once.
  void Interrupt();

  // The stop sequence (stop watching, close, settings back), then how the link ended.
  LinkOutcome Finish();

  // EngineHost.
  void StartResponseTimer(int milliseconds) override;
  void StopResponseTimer() override;
  bool IsChecked(Box box) override;
  void SetProgress(int) override {}
  void SetLabelText(Label, std::string_view) override {}
  void ReportOutcome(const ExchangeOutcome& outcome) override;
  // The command line hands the engine its image; no file is chosen.
  bool ChooseImageFile(std::string&) override { return false; }

  // PortEvents.
  void PostCommNotify() override;
  void WatchDescriptor(int descriptor) override { descriptor_ = descriptor; }

 private:
  // "COM3 (/dev/ttyUSB0)", or the port as given when it names the device itself.
  std::string PortAndDevice() const;

  const std::string port_;
  LoopWake& wake_;
  Line line_;
  ProtocolEngine engine_;
  std::optional<ExchangeTrace> trace_;
  LatencyCheck latency_;
  int descriptor_ = NO_DESCRIPTOR;
  bool timerRunning_ = false;
  std::chrono::steady_clock::time_point timerDue_{};
  WriteRequest request_;
  std::optional<LinkOutcome> outcome_;
};

}  // namespace vannor::cli
