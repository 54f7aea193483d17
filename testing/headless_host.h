// A window without a window: the event thread that the engine and the port switch expect, for
// end-to-end tests and the benchmark. One thread waits with poll on the port, on the queue of
// clicks and on the response timer, and handles them in order, as the dialog's message loop
// does; message boxes are recorded and answered OK at once.
#pragma once

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "protocol/engine_host.h"
#include "protocol/protocol_engine.h"
#include "serial/line.h"
#include "serial/port_switch.h"
#include "testing/counting_backend.h"

namespace vannor::headless {

// How often each port operation ran, to show what one byte costs.
struct HostCounts {
  std::uint64_t notifications = 0;  // times the port was found ready
  std::uint64_t pendingQueries = 0;
  std::uint64_t reads = 0;
  std::uint64_t writes = 0;
  std::uint64_t timerExpiries = 0;  // handed to the engine
};

class HeadlessHost final : public EngineHost, public PortEvents, public PortSwitchHost {
 public:
  enum class Timer {
    Real,    // the response timer expires by itself after its period
    Manual,  // it expires only when the test says so (FireTimer)
  };

  explicit HeadlessHost(Timer timer);
  ~HeadlessHost();
  HeadlessHost(const HeadlessHost&) = delete;
  HeadlessHost& operator=(const HeadlessHost&) = delete;

  // Runs `work` on the event thread, after everything queued before it, and waits for it.
  void Call(const std::function<void()>& work);

  // What the window's initialisation does: all four boxes checked, the port at `portIndex`
  // opened and watched. Returns OpenPort's result.
  int OpenAndListen(int portIndex);
  // The port list's selection changes to `index`; returns the port index afterwards.
  int SelectPort(int index);
  // End: the stop sequence, then the dialog's OK.
  void End();

  // The user's clicks. An empty path cancels the file choice.
  void ClickUpdate(const std::string& imagePath);
  void ClickVerRead();
  void SetChecked(Box box, bool checked);

  // Waits, at most `limit`, until `count` messages have been shown in all.
  bool WaitForMessages(std::size_t count, std::chrono::milliseconds limit);
  std::vector<std::string> Messages();
  std::string LabelText(Label label);
  int Progress();
  bool TimerRunning();
  // Manual timer: hands the engine an expiry if the timer is running. False if it was not.
  bool FireTimer();
  bool EndedOk();
  // Whether the line has a port open.
  bool PortOpen();
  HostCounts Counts();
  void ResetCounts();
  // CPU time the event thread has used; zero once it has ended.
  std::chrono::nanoseconds EventThreadCpu();

  // On the event thread only (inside Call): the link's engine and line.
  ProtocolEngine& Engine() { return engine_; }
  Line& SerialLine() { return line_; }
  // The engine's state, read on the event thread.
  ProtocolState EngineState();

  // EngineHost, on the event thread.
  void StartResponseTimer(int milliseconds) override;
  void StopResponseTimer() override;
  bool IsChecked(Box box) override;
  void SetProgress(int position) override;
  void SetLabelText(Label label, std::string_view text) override;
  void ReportOutcome(const ExchangeOutcome& outcome) override;
  bool ChooseImageFile(std::string& path) override;

  // PortEvents, on the event thread.
  void PostCommNotify() override {}
  void WatchDescriptor(int descriptor) override { watched_ = descriptor; }

  // PortSwitchHost, on the event thread.
  int PortListSelection() override { return portSelection_; }
  void SelectPortListItem(int index) override { portSelection_ = index; }
  void ShowPortNotUsable(int index, const OpenFailure& failure) override;

 private:
  void Run();
  void RunCalls();
  // The poll time-out for the response timer: -1 when it does not run.
  int TimerWaitMs() const;
  void RecordMessage(std::string_view text);

  // Posted work, shared with the test's thread; the eventfd wakes the event thread.
  int wakeFd_ = -1;
  std::mutex callsMutex_;
  std::deque<std::function<void()>> calls_;
  bool quit_ = false;  // under callsMutex_

  // Everything below belongs to the event thread.
  const Timer timerMode_;
  bool timerRunning_ = false;
  std::chrono::steady_clock::time_point timerDue_{};
  std::chrono::milliseconds timerPeriod_{0};
  bool checked_[4] = {true, true, true, true};
  int progress_ = 0;
  // The window template's texts before anything has run.
  std::string labels_[3] = {"0", "V00.00", "V00.00"};
  std::string imagePath_;
  int portSelection_ = 0;
  int portIndex_ = 0;
  bool endedOk_ = false;
  int watched_ = NO_DESCRIPTOR;
  testkit::CountingBackend* counting_;  // owned by line_
  Line line_;
  ProtocolEngine engine_;
  HostCounts counts_;
  pthread_t threadHandle_{};

  std::mutex messagesMutex_;
  std::condition_variable messageShown_;
  std::vector<std::string> messages_;

  std::thread thread_;
};

}  // namespace vannor::headless
