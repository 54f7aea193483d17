// A window without a window, around the Link the programs use, for end-to-end tests and the
// benchmark: one thread waits with poll on the port, on the queue of clicks and on the link's
// deadline, and hands them to the link (Link::Service), as the window's loop does. Its clicks
// call what the window's handlers call (Link::StartUpdate, with the path as the file dialog's
// answer); message boxes are recorded and answered at once (OK, and the switch question as the
// test says).
#pragma once

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "protocol/exchange_display.h"
#include "protocol/link.h"
#include "protocol/update_request.h"
#include "testing/counting_backend.h"

namespace vannor::headless {

// The four selection boxes and the three labels of the window.
enum class Box { WriteDsp1, Tavix3Dsp1, WriteDsp2, Tavix3Dsp2 };
enum class Label { Percent, VersionDsp1, VersionDsp2 };

// How often each port operation ran, to show what one byte costs.
struct HostCounts {
  std::uint64_t notifications = 0;  // times the port was found ready
  std::uint64_t pendingQueries = 0;
  std::uint64_t reads = 0;
  std::uint64_t writes = 0;
  std::uint64_t timerExpiries = 0;  // time-outs handed to the link (not quiet-line waits)
};

class HeadlessHost final : public LinkHost, public ExchangeDisplay, public PortPickQuestions {
 public:
  enum class Timer {
    Real,    // the deadline falls by itself
    Manual,  // only when the test says so (FireTimer)
  };

  explicit HeadlessHost(Timer timer);
  ~HeadlessHost();
  HeadlessHost(const HeadlessHost&) = delete;
  HeadlessHost& operator=(const HeadlessHost&) = delete;

  // Runs `work` on the event thread, after everything queued before it, and waits for it.
  void Call(const std::function<void()>& work);

  // What the window's initialisation does: the port at `portIndex` opened and watched. Returns
  // whether it opened.
  bool OpenAndListen(int portIndex);
  // The user picks the port at `index` in the list; returns the port index afterwards. The
  // switch question, if asked, is answered `leaveUpdate` (Yes by default).
  int SelectPort(int index, bool leaveUpdate = true);
  // End: the stop sequence, then the dialog's OK.
  void End();

  // The user's clicks. An empty path cancels the file choice.
  void ClickUpdate(const std::string& imagePath);
  void ClickVerRead();
  void SetChecked(Box box, bool checked);

  // Waits, at most `limit`, until `count` messages have been shown in all.
  bool WaitForMessages(std::size_t count, std::chrono::milliseconds limit);
  std::vector<std::string> Messages();
  // Switch questions asked so far.
  int QuestionsAsked();
  std::string LabelText(Label label);
  int Progress();
  bool TimerRunning();
  // Manual timer: hands the link its deadline if one is set. False if none was.
  bool FireTimer();
  bool EndedOk();
  // Whether the line has a port open.
  bool PortOpen();
  HostCounts Counts();
  void ResetCounts();
  // CPU time the event thread has used; zero once it has ended.
  std::chrono::nanoseconds EventThreadCpu();

  // On the event thread only (inside Call): the link.
  Link& RadioLink() { return link_; }
  // The engine's state, read on the event thread.
  ProtocolState EngineState();

  // LinkHost, on the event thread.
  // The loop reads Link::Waitable at each wait.
  void PortEvent() override {}
  void ReportOutcome(const ExchangeOutcome& outcome) override;
  // ExchangeDisplay.
  void ShowProgress(int position, std::string_view percent) override;
  void ShowVersions(std::string_view dsp1, std::string_view dsp2) override;
  // PortPickQuestions.
  bool LeaveUnfinishedUpdate() override;
  void ShowPortNotUsable(int index, const OpenFailure& failure) override;

 private:
  void Run();
  void RunCalls();
  // Whether the deadline falls without FireTimer.
  bool DeadlineFallsByItself() const;
  // The poll time-out for the deadline: -1 when there is none.
  int DeadlineWaitMs() const;
  void RecordMessage(std::string_view text);

  // Posted work, shared with the test's thread; the eventfd wakes the event thread.
  int wakeFd_ = -1;
  std::mutex callsMutex_;
  std::deque<std::function<void()>> calls_;
  bool quit_ = false;  // under callsMutex_

  // Everything below belongs to the event thread.
  const Timer timerMode_;
  DspChoice boxes_{true, true, true, true};
  int progress_ = 0;
  // The window template's texts before anything has run.
  std::string labels_[3] = {"0", "V00.00", "V00.00"};
  bool leaveUpdate_ = true;
  int questions_ = 0;
  bool endedOk_ = false;
  testkit::CountingBackend* counting_;  // owned by link_
  Link link_;
  HostCounts counts_;
  pthread_t threadHandle_{};

  std::mutex messagesMutex_;
  std::condition_variable messageShown_;
  std::vector<std::string> messages_;

  std::thread thread_;
};

}  // namespace vannor::headless
