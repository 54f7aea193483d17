// vannor-window-bench: what the whole tool costs per byte, through the real main window (its
// wx event loop watching the port, its wxTimer), against the floor of a bare loop and beside the
// headless host, all three on the same pseudo-terminal and radio simulator in one run; and what
// the window does while it waits with the port open.
// Needs a display: scripts/bench.sh gives it a private Xvfb when there is none.
#include <stdio.h>
#include <stdlib.h>
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/init.h>
#include <wx/timer.h>

#include <atomic>
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bare_loop.h"
#include "bench/bench_support.h"
#include "protocol/link_state.h"
#include "protocol/messages.h"
#include "testing/counting_backend.h"
#include "testing/window_test_support.h"
#include "tools/radio_sim.h"
#include "ui/look.h"
#include "ui/vannor_dlg.h"

namespace {

using namespace vannor;
using namespace vannor::bench;
using Clock = std::chrono::steady_clock;
using std::chrono::nanoseconds;

// The targets the figures are held to, per byte against the bare loop.
constexpr double HEADLESS_TO_BARE = 1.15;
constexpr double WINDOW_TO_BARE = 1.5;
// And the window's event thread's CPU per byte against the headless host's.
constexpr double WINDOW_CPU_TO_HEADLESS = 1.5;
// The most port calls of one kind the request's opening may add to the image's own.
constexpr std::uint64_t OPENING_CALLS = 8;
constexpr std::chrono::milliseconds IDLE_SPAN{1000};

// What the toolkit did while the window ran, counted by the application object.
struct ToolkitCounts {
  std::uint64_t events = 0;
  std::uint64_t updateUiEvents = 0;
  std::uint64_t idlePasses = 0;
};

class BenchApp final : public wxApp {
 public:
  bool OnInit() override { return true; }
  // Every event the toolkit processes passes here once, whichever window it is for.
  int FilterEvent(wxEvent& event) override {
    ++counts.events;
    if (event.GetEventType() == wxEVT_UPDATE_UI) ++counts.updateUiEvents;
    return Event_Skip;
  }
  bool ProcessIdle() override {
    ++counts.idlePasses;
    return wxApp::ProcessIdle();
  }

  ToolkitCounts counts;
};

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(BenchApp);

namespace {

// How often the window's engine used each of its operations in one Update.
struct WindowCounts {
  std::uint64_t pendingQueries = 0;  // one for each wake of the engine
  std::uint64_t reads = 0;
  std::uint64_t writes = 0;
  ToolkitCounts toolkit;
};

// The real window with a count on each operation the engine calls and the times of the first
// write (the write request) and of the first message: the span of the Update itself, without
// the file choice before it.
class CountingWindow;

// The window's line, with a count on each port operation; the first write starts the clocks.
class CountingPort final : public testkit::CountingBackend {
 public:
  explicit CountingPort(CountingWindow& window) : window_(window) {}
  bool Write(const std::uint8_t* bytes, std::size_t count) override;

 private:
  CountingWindow& window_;
};

class CountingWindow final : public VannorDlg {
 public:
  CountingWindow() : VannorDlg(std::make_unique<CountingPort>(*this)) {}

  void StartClocks() {
    start = Clock::now();
    windowCpuStart = ThreadCpu();
    processCpuStart = ProcessCpu();
    toolkitStart = wxGetApp().counts;
  }
  void ReportOutcome(const ExchangeOutcome& outcome) override {
    const std::string_view text = MessageFor(outcome);
    if (!message.empty()) {
      VannorDlg::ReportOutcome(outcome);
      return;
    }
    end = Clock::now();
    windowCpu = ThreadCpu() - windowCpuStart;
    processCpu = ProcessCpu() - processCpuStart;
    const ToolkitCounts now = wxGetApp().counts;
    counts.toolkit = {now.events - toolkitStart.events,
                      now.updateUiEvents - toolkitStart.updateUiEvents,
                      now.idlePasses - toolkitStart.idlePasses};
    message = text;
    // The modal hook records the box and answers it at once; then End is pressed, as a person
    // would, which runs the stop sequence and ends the window.
    VannorDlg::ReportOutcome(outcome);
    CallAfter([this] {
      wxCommandEvent click(wxEVT_BUTTON, wxID_OK);
      FindWindow(wxID_OK)->ProcessWindowEvent(click);
    });
  }

  WindowCounts Counts() {
    WindowCounts all = counts;
    const testkit::PortCounts& port = static_cast<CountingPort&>(SerialLine().Backend()).counts;
    all.pendingQueries = port.pendingQueries;
    all.reads = port.reads;
    all.writes = port.writes;
    return all;
  }

  WindowCounts counts;
  std::string message;
  Clock::time_point start{};
  Clock::time_point end{};
  nanoseconds windowCpuStart{0};
  nanoseconds processCpuStart{0};
  nanoseconds windowCpu{0};
  nanoseconds processCpu{0};
  ToolkitCounts toolkitStart;
};

bool CountingPort::Write(const std::uint8_t* bytes, std::size_t count) {
  if (counts.writes == 0) window_.StartClocks();
  return CountingBackend::Write(bytes, count);
}

struct WindowRound {
  nanoseconds took{-1};  // negative when the round failed
  WindowCounts counts;
  nanoseconds windowCpu{0};
  nanoseconds processCpu{0};
};

// One Update through the real window, run modally as the program runs it: Update is clicked
// once the window is on screen, the file choice is answered with `imagePath`, and End is
// pressed after the first message. Fails unless that message is " Completion !!! " and the
// radio holds `image`.
WindowRound WindowUpdate(uitest::ModalRecorder& modals, const std::string& imagePath,
                         const std::vector<std::uint8_t>& image, const sim::RadioSimulator& radio) {
  WindowRound round;
  modals.AnswerFileDialog(imagePath);
  CountingWindow window;
  wxTimer watchdog;
  watchdog.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
    fprintf(stderr, "vannor-window-bench: the window did not finish the Update\n");
    window.EndModal(wxID_ABORT);
  });
  watchdog.StartOnce(static_cast<int>(std::chrono::milliseconds(std::chrono::minutes(10)).count()));
  window.CallAfter([&] {
    wxWindow* update = window.FindWindow(IDC_UPDATE);
    if (!uitest::PumpUntil([&] { return update->IsShownOnScreen(); })) {
      window.EndModal(wxID_ABORT);
      return;
    }
    wxCommandEvent click(wxEVT_BUTTON, IDC_UPDATE);
    click.SetEventObject(update);
    update->ProcessWindowEvent(click);
    // No exchange under way (its request waits for a quiet line first): the file choice or the
    // port failed, and nothing will end the window.
    if (!window.RadioLink().Busy() && window.message.empty()) window.EndModal(wxID_ABORT);
  });
  const int result = window.ShowModal();
  watchdog.Stop();
  round.counts = window.Counts();
  round.windowCpu = window.windowCpu;
  round.processCpu = window.processCpu;
  const bool recorded =
      !modals.Messages().empty() && modals.Messages().back().text == MSG_COMPLETION;
  if (result == wxID_OK && window.message == MSG_COMPLETION && recorded && radio.Image() == image) {
    round.took = window.end - window.start;
  }
  return round;
}

// What one step of the percentage costs the window's event thread, timed alone on a window that
// is on screen but idle: the bar and label set, and the layout and redraw the toolkit does for
// them. An Update takes a hundred such steps whatever the image's length. Neither the response
// timer nor an idle pass runs at every byte (the toolkit counts above say how often one runs).
struct PercentStep {
  double cpuUs = -1;  // negative when the window did not come up or did not redraw
  int windows = 0;    // the dialog and all its controls
};

int CountWindows(const wxWindow& window) {
  int count = 1;
  for (const wxWindow* child : window.GetChildren()) count += CountWindows(*child);
  return count;
}

PercentStep MeasurePercentStep() {
  PercentStep step;
  VannorDlg window;
  window.Show();
  if (!uitest::PumpUntil([&] { return window.FindWindow(wxID_OK)->IsShownOnScreen(); })) {
    return step;
  }
  uitest::PumpFor(std::chrono::milliseconds(100));
  step.windows = CountWindows(window);
  // The toolkit draws the dialog's own area under its controls whenever any of them is drawn.
  int redraws = 0;
  window.Bind(wxEVT_PAINT, [&](wxPaintEvent& event) {
    ++redraws;
    event.Skip();
  });
  std::vector<double> cpu;
  for (int percent = 1; percent <= 100; ++percent) {
    char text[8];
    snprintf(text, sizeof text, "%02d", percent);
    const int before = redraws;
    const nanoseconds start = ThreadCpu();
    window.ShowProgress(percent, text);
    if (!uitest::PumpUntil([&] { return redraws > before; })) return step;
    cpu.push_back(Microseconds(ThreadCpu() - start));
  }
  step.cpuUs = Median(cpu);
  window.Close();
  uitest::PumpFor(std::chrono::milliseconds(50));
  return step;
}

// The window on screen with its port open and nothing to do, left alone in its own modal loop:
// what its event thread uses over `span`, and how often the port woke it.
struct WindowIdle {
  nanoseconds cpu{-1};  // negative when the window did not come up with its port open
  std::uint64_t wakes = 0;
  ToolkitCounts toolkit;  // what the toolkit did meanwhile
};

WindowIdle IdleWindow(std::chrono::milliseconds span) {
  WindowIdle idle;
  CountingWindow window;
  nanoseconds cpuStart{0};
  std::uint64_t wakesStart = 0;
  ToolkitCounts toolkitStart;
  wxTimer settle, measure;
  settle.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
    cpuStart = ThreadCpu();
    wakesStart = window.Counts().pendingQueries;
    toolkitStart = wxGetApp().counts;
    measure.StartOnce(static_cast<int>(span.count()));
  });
  measure.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
    const nanoseconds used = ThreadCpu() - cpuStart;
    idle.wakes = window.Counts().pendingQueries - wakesStart;
    const ToolkitCounts now = wxGetApp().counts;
    idle.toolkit = {now.events - toolkitStart.events,
                    now.updateUiEvents - toolkitStart.updateUiEvents,
                    now.idlePasses - toolkitStart.idlePasses};
    if (window.SerialLine().PortUsable()) idle.cpu = used;
    window.EndModal(wxID_OK);
  });
  window.CallAfter([&] {
    if (!uitest::PumpUntil([&] { return window.FindWindow(wxID_OK)->IsShownOnScreen(); })) {
      window.EndModal(wxID_ABORT);
      return;
    }
    // What showing the window set off (drawing, focus, the toolkit's first timers) is over
    // before the span starts.
    settle.StartOnce(1000);
  });
  (void)window.ShowModal();  // the timers end it; `idle` says whether it came up
  return idle;
}

struct Settings {
  long length = 20000;
  long rounds = 5;
};

bool ParseSettings(int argc, char** argv, Settings& s) {
  if (ParseOptions(
          argc, argv,
          {{"--length", 1, IMAGE_CAPACITY, &s.length}, {"--rounds", 1, 1000, &s.rounds}})) {
    return true;
  }
  fprintf(stderr,
          "usage: vannor-window-bench [--length N] [--rounds N]\n"
          "  defaults: 20000-byte image, 5 rounds; needs a display (scripts/bench.sh has one)\n");
  return false;
}

void FailOnAssert(const wxString& file, int line, const wxString& function,
                  const wxString& condition, const wxString& message) {
  fprintf(stderr, "vannor-window-bench: toolkit assertion \"%s\" in %s (%s:%d): %s\n",
          condition.utf8_string().c_str(), function.utf8_string().c_str(),
          file.utf8_string().c_str(), line, message.utf8_string().c_str());
}

// Bare, headless and window rounds alternate, so that all three see the same machine.
int RunRounds(const Settings& settings) {
  uitest::PortFolder ports;
  const auto length = static_cast<std::uint32_t>(settings.length);
  const std::vector<std::uint8_t> image = testkit::AllByteValues(length);
  const std::string imagePath = ports.Ready() ? WriteImageFile(ports.ConfigHome(), image) : "";
  sim::RadioSimulator radio;
  sim::RadioConfig config;
  config.expectedLength = length;
  if (imagePath.empty() || !radio.Start(config) || !radio.MapPort(ports.ConfigHome(), 1)) {
    fprintf(stderr, "vannor-window-bench: cannot set up the image and the radio simulator\n");
    return 1;
  }
  uitest::ModalRecorder modals;

  const double n = length;
  std::vector<double> bare, headless, window;
  std::vector<double> bareCpu, headlessCpu, eventThreadCpu, windowProcessCpu, windowThreadCpu;
  WindowCounts counts;
  for (long r = 0; r < settings.rounds; ++r) {
    // Each round starts one row further on, so that no row always comes first after the pause
    // between rounds, or always follows the same one.
    nanoseconds b{-1};
    nanoseconds bareCpuUsed{0};
    LinkRound h;
    WindowRound w;
    for (long k = 0; k < 3; ++k) {
      switch ((k + r) % 3) {
        case 0:
          bareCpuUsed = ThreadCpu();
          b = BareLoop(radio.SlavePath(), image);
          bareCpuUsed = ThreadCpu() - bareCpuUsed;
          break;
        case 1:
          h = HeadlessRound(imagePath, image, radio);
          break;
        default:
          w = WindowUpdate(modals, imagePath, image, radio);
          break;
      }
    }
    if (b.count() < 0 || h.took.count() < 0 || w.took.count() < 0) {
      fprintf(stderr, "vannor-window-bench: round %ld failed (%s)\n", r + 1,
              b.count() < 0        ? "bare loop"
              : h.took.count() < 0 ? "headless host"
                                   : "window");
      return 1;
    }
    bare.push_back(Microseconds(b) / n);
    headless.push_back(Microseconds(h.took) / n);
    window.push_back(Microseconds(w.took) / n);
    bareCpu.push_back(Microseconds(bareCpuUsed) / n);
    headlessCpu.push_back(Microseconds(h.processCpu) / n);
    eventThreadCpu.push_back(Microseconds(h.eventThreadCpu) / n);
    windowProcessCpu.push_back(Microseconds(w.processCpu) / n);
    windowThreadCpu.push_back(Microseconds(w.windowCpu) / n);
    counts = w.counts;
  }
  const PercentStep percentStep = MeasurePercentStep();
  const WindowIdle idle = IdleWindow(IDLE_SPAN);
  radio.Stop();

  const double bareUs = Median(bare);
  const double headlessUs = Median(headless);
  const double windowUs = Median(window);
  const ToolkitCounts& toolkit = counts.toolkit;
  const double headlessRatio = PairedRatio(headless, bare);
  const double windowRatio = PairedRatio(window, bare);
  printf(
      "Vannor window benchmark: pseudo-terminal, %u-byte image, median of %ld rounds "
      "(bare, headless and window rounds alternate; a ratio is the median of each round's own, "
      "beside [the middle half of them])\n",
      length, settings.rounds);
  printf("  bare write/read loop:            %8.2f us per byte\n", bareUs);
  printf(
      "  full link, headless host:        %8.2f us per byte (%.2f more), ratio to bare %.3f %s  "
      "target %.2f or less: %s\n",
      headlessUs, headlessUs - bareUs, headlessRatio, PairedSpread(headless, bare).c_str(),
      HEADLESS_TO_BARE, Verdict(headlessRatio <= HEADLESS_TO_BARE));
  printf(
      "  full link, real window:          %8.2f us per byte (%.2f more), ratio to bare %.3f %s  "
      "target %.2f or less: %s\n",
      windowUs, windowUs - bareUs, windowRatio, PairedSpread(window, bare).c_str(), WINDOW_TO_BARE,
      Verdict(windowRatio <= WINDOW_TO_BARE));
  printf("  ratio window / headless host:    %8.2f\n", PairedRatio(window, headless));
  // One of each per image byte; the request's opening (write request, ENQ, their ACKs) adds a
  // handful.
  const auto once = [&](std::uint64_t count) {
    return count >= length && count <= length + OPENING_CALLS;
  };
  printf(
      "  window, per byte: wakes (pending counts) %.3f, reads %.3f, writes %.3f  target 1 "
      "each: %s\n",
      counts.pendingQueries / n, counts.reads / n, counts.writes / n,
      Verdict(once(counts.pendingQueries) && once(counts.reads) && once(counts.writes)));
  printf("  toolkit, per byte: idle passes %.3f, update-UI events %.2f, events in all %.2f\n",
         toolkit.idlePasses / n, toolkit.updateUiEvents / n, toolkit.events / n);
  printf(
      "  CPU per byte: window run %.2f us (its event thread %.2f us); headless run %.2f us "
      "(its event thread %.2f us); the bare loop's thread %.2f us\n",
      Median(windowProcessCpu), Median(windowThreadCpu), Median(headlessCpu),
      Median(eventThreadCpu), Median(bareCpu));
  const double cpuRatio = PairedRatio(windowThreadCpu, eventThreadCpu);
  printf("  event thread CPU, window / headless host: %.2f %s  target %.2f or less: %s\n", cpuRatio,
         PairedSpread(windowThreadCpu, eventThreadCpu).c_str(), WINDOW_CPU_TO_HEADLESS,
         Verdict(cpuRatio <= WINDOW_CPU_TO_HEADLESS));
  if (percentStep.cpuUs < 0) {
    printf("  one percent step alone: not measured (the idle window did not redraw)\n");
  } else {
    printf(
        "  one percent step alone, on the idle window (%d windows): %.0f us of its event thread, "
        "%.2f us per byte of this image, %.1f%% of the window's event thread\n",
        percentStep.windows, percentStep.cpuUs, percentStep.cpuUs * 100 / n,
        100 * percentStep.cpuUs * 100 / n / Median(windowThreadCpu));
  }
  if (idle.cpu.count() < 0) {
    printf("  idle window: not measured (it did not come up with its port open)\n");
  } else {
    // The toolkit may keep timers of its own; the port must not wake the window at all.
    printf(
        "  idle window, %.0f s with the port open: event thread %.1f us CPU, port wakes %llu  "
        "target 0 wakes: %s; toolkit meanwhile: %llu events, %llu idle passes\n",
        std::chrono::duration<double>(IDLE_SPAN).count(), Microseconds(idle.cpu),
        static_cast<unsigned long long>(idle.wakes), Verdict(idle.wakes == 0),
        static_cast<unsigned long long>(idle.toolkit.events),
        static_cast<unsigned long long>(idle.toolkit.idlePasses));
  }
  fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  if (!ParseSettings(argc, argv, settings)) return 2;

  // As for the window tests: no accessibility bus and no desktop file services, neither of
  // which exists under Xvfb. The environment cannot refuse these names.
  (void)setenv("NO_AT_BRIDGE", "1", 0);
  (void)setenv("GIO_USE_VFS", "local", 0);
  (void)setenv("GDK_BACKEND", "x11", 0);

  ActivateFontAlias();
  // The toolkit sees no options of ours.
  int toolkitArgc = 1;
  if (!wxEntryStart(toolkitArgc, argv)) {
    fprintf(stderr, "vannor-window-bench needs a display: run it through scripts/bench.sh.\n");
    return 2;
  }
  wxSetAssertHandler(FailOnAssert);
  int result = 1;
  if (wxTheApp->CallOnInit()) {
    LoadDialogCss();
    wxGUIEventLoop loop;
    wxEventLoopActivator active(&loop);
    result = RunRounds(settings);
    wxTheApp->OnExit();
  }
  wxEntryCleanup();
  return result;
}
