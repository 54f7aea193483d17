// A window without a window, around the Link the programs use, for end-to-end tests and the
// benchmark: one thread polls the port, the queue of clicks and the link's deadline, and hands
// them to Link::Service as the window's loop does. Clicks call what the window's handlers call;
// message boxes are recorded and answered at once (OK, and Yes to the switch question).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "protocol/exchange_display.h"
#include "protocol/link.h"
#include "protocol/messages.h"
#include "testing/counting_backend.h"
#include "testing/posix/event_calls.h"

namespace vannor::headless {

// The four selection boxes and the three labels of the window, in the window's order.
enum class Box { WriteDsp1, Tavix3Dsp1, WriteDsp2, Tavix3Dsp2 };
enum class Label { Percent, VersionDsp1, VersionDsp2 };

// What one byte costs: the port's operations, the wakes that found the port ready, and the
// time-outs handed to the link (not the quiet-line waits).
struct HostCounts : testkit::PortCounts {
  std::uint64_t notifications = 0;
  std::uint64_t timerExpiries = 0;
};

// What the window shows, and the link behind it.
struct View {
  int progress = 0;
  std::string labels[3] = {"0", "V00.00", "V00.00"};  // the window template's texts
  bool endedOk = false;
  bool timerRunning = false;
  bool portOpen = false;
  ProtocolState state = ProtocolState::Idle;
  HostCounts counts;
  const std::string& operator[](Label label) const { return labels[int(label)]; }
};

class HeadlessHost final : public LinkHost, public ExchangeDisplay, public PortPickQuestions {
 public:
  enum class Timer { Real, Manual };  // Manual: the deadline falls only at FireTimer

  explicit HeadlessHost(Timer timer);
  ~HeadlessHost();

  // The window's initialisation: the port opened and watched; the port index afterwards.
  int OpenAndListen(int index) {
    return calls_.Ask([&] { return link_.OpenPort(index); });
  }
  // The user picks the port at `index`; the port index afterwards.
  int SelectPort(int index) {
    return calls_.Ask([&] { return link_.OnPortPicked(index, *this); });
  }
  // End: the stop sequence, then the dialog's OK.
  void End() {
    calls_.Call([this] { link_.Stop(), view_.endedOk = true; });
  }
  // The Update click; an empty path cancels the file choice.
  void ClickUpdate(const std::string& imagePath);
  // Each request ends with a record in `log` from now on, as in the programs.
  void KeepHistory(HistoryLog& log) {
    calls_.Call([&] { link_.KeepHistory(log); });
  }
  void ClickVerRead() {
    calls_.Call([this] { link_.OnVerReadClicked(); });
  }
  void SetChecked(Box box, bool checked);
  // Manual timer: hands the link its deadline; false when none was set.
  bool FireTimer();

  // Waits, at most `limit`, until `count` messages have been shown in all.
  bool WaitForMessages(std::size_t count, std::chrono::milliseconds limit) {
    return messages_.WaitFor(count, limit);
  }
  std::vector<std::string> Messages() { return messages_.All(); }
  View Look();
  std::chrono::nanoseconds EventThreadCpu() {
    return testkit::ThreadCpuOf(thread_.native_handle());
  }

  // The loop reads Link::Waitable at each wait.
  void PortEvent() override {}
  void ReportOutcome(const ExchangeOutcome& outcome) override;
  void ShowProgress(int position, std::string_view percent) override;
  void ShowVersions(std::string_view dsp1, std::string_view dsp2) override;
  bool LeaveUnfinishedUpdate() override { return true; }
  void ShowPortNotUsable(int, const OpenFailure&) override { messages_.Add(MSG_NOT_USE_COM_PORT); }

 private:
  void Run();

  testkit::EventCalls calls_;
  testkit::TextLog messages_;
  // The event thread's own.
  const Timer timerMode_;
  DspChoice boxes_{true, true, true, true};
  View view_;
  testkit::CountingBackend* counting_;  // owned by link_
  Link link_;
  std::thread thread_;
};

}  // namespace vannor::headless
