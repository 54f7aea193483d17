// One radio on one line, driven from the command line: the same protocol engine and serial line
// as the window, with a thread of its own as its event loop. Listener notifications, the response
// timer and an interruption wake that loop; message boxes become the link's outcome.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "protocol/engine_host.h"
#include "protocol/exchange_trace.h"
#include "protocol/protocol_engine.h"
#include "serial/comm_notify_target.h"
#include "serial/line.h"

namespace vannor::cli {

class ProgressView;

struct WriteRequest {
  std::string imagePath;
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

class RadioLink final : public EngineHost, public CommNotifyTarget, public ExchangeObserver {
 public:
  // `port` is COMn or a device path; `index` its row in the progress view (may be null).
  RadioLink(std::string port, bool verbose, ProgressView* view, std::size_t index,
            std::unique_ptr<Line> line = MakeLine());
  ~RadioLink();
  RadioLink(const RadioLink&) = delete;
  RadioLink& operator=(const RadioLink&) = delete;

  // Each runs the whole exchange on the calling thread: open, listen, exchange, stop.
  LinkOutcome ReadVersions();
  LinkOutcome Write(const WriteRequest& request);

  // From any thread (a signal watcher): ends the exchange at once with the stop sequence.
  void Interrupt();

  // EngineHost, on the link's thread.
  void StartResponseTimer(int milliseconds) override;
  void StopResponseTimer() override;
  bool IsChecked(Box box) override;
  void SetProgress(int) override {}
  void SetLabelText(Label label, std::string_view text) override;
  void ShowMessage(std::string_view text) override;
  bool ChooseImageFile(std::string& path) override;

  // The listener's notification, from its thread.
  void PostCommNotify() override;

  // ExchangeObserver, on the link's thread.
  void OnRequest(const std::uint8_t* bytes, std::size_t count) override;
  void OnAcknowledged(ProtocolState next) override;
  void OnProgress(std::uint32_t confirmed, std::uint32_t length) override;
  void OnCompleted() override;
  void OnFailed(const ExchangeFailure& failure) override;

 private:
  // Opens the port and starts the listener; the outcome when that failed.
  std::optional<LinkOutcome> Open();
  // Runs events until the engine is idle again or the run is interrupted; false if interrupted.
  bool RunUntilIdle();
  LinkOutcome Finish(LinkOutcome outcome);

  const std::string port_;
  ProgressView* const view_;
  const std::size_t index_;
  std::unique_ptr<Line> line_;
  ProtocolEngine engine_;
  std::optional<ExchangeTrace> trace_;

  // Shared with the listener and the signal watcher.
  std::mutex mutex_;
  std::condition_variable wake_;
  std::uint64_t notifications_ = 0;
  std::atomic<bool> interrupted_{false};

  // The link's own thread only.
  bool timerRunning_ = false;
  std::chrono::steady_clock::time_point timerDue_{};
  WriteRequest request_;
  std::string versionDsp1_;
  std::string versionDsp2_;
  std::string lastMessage_;
  std::string failure_;
};

}  // namespace vannor::cli
