#include "testing/headless_host.h"

#include <poll.h>

#include <optional>

namespace vannor::headless {

HeadlessHost::HeadlessHost(Timer timer)
    : timerMode_(timer), link_(*this, "vannor", ExchangeTrace::Requested(), [this] {
        auto counting = std::make_unique<testkit::CountingBackend>();
        counting_ = counting.get();
        return counting;
      }()) {
  (void)link_.Follow(*this);  // the link's own observers leave room
  thread_ = std::thread(&HeadlessHost::Run, this);
}

HeadlessHost::~HeadlessHost() {
  // A test that ended early still runs the stop sequence before the link goes.
  calls_.Call([this] { link_.Stop(), calls_.Quit(); });
  thread_.join();
}

void HeadlessHost::Run() {
  for (;;) {
    // The wait for a quiet line before a request is no time-out: it passes in every mode.
    const bool quietWait = link_.AwaitingQuietLine();
    const bool deadlineFalls = timerMode_ == Timer::Real || quietWait;
    pollfd watched[2] = {{.fd = calls_.Waitable(), .events = POLLIN, .revents = 0},
                         {.fd = link_.Waitable(), .events = POLLIN, .revents = 0}};
    const int wait = deadlineFalls ? link_.MillisecondsToDeadline(LinkClock::now()) : -1;
    // EINTR: look again. A descriptor of -1 is left out by poll itself.
    if (poll(watched, 2, wait) < 0) continue;
    const bool portReady = watched[1].revents != 0;
    if (portReady) ++view_.counts.notifications;
    const auto now = deadlineFalls ? LinkClock::now() : LinkClock::time_point::min();
    if (link_.Service(portReady, now) && !quietWait) ++view_.counts.timerExpiries;
    if (watched[0].revents != 0 && calls_.RunPending()) return;
  }
}

void HeadlessHost::ClickUpdate(const std::string& imagePath) {
  // The file dialog answers `imagePath`, or nothing when it is empty.
  const ImageSource::Picker picker = [&] {
    return imagePath.empty() ? std::nullopt : std::optional(imagePath);
  };
  calls_.Call([&] { link_.StartUpdate(SelectionMask(boxes_), ImageSource(picker)); });
}

void HeadlessHost::SetChecked(Box box, bool checked) {
  static constexpr bool DspChoice::*FIELDS[] = {&DspChoice::writeDsp1, &DspChoice::tavix3Dsp1,
                                                &DspChoice::writeDsp2, &DspChoice::tavix3Dsp2};
  calls_.Call([=, this] { boxes_.*FIELDS[int(box)] = checked; });
}

bool HeadlessHost::FireTimer() {
  return calls_.Ask([this] {
    // A request still waiting for a quiet line goes out (or gives up) first.
    while (link_.AwaitingQuietLine() && link_.Deadline()) link_.OnDeadline(*link_.Deadline());
    if (!link_.Deadline()) return false;
    ++view_.counts.timerExpiries;
    link_.OnDeadline(*link_.Deadline());
    return true;
  });
}

View HeadlessHost::Look() {
  View view;
  calls_.Call([&] {
    view = view_;
    view.timerRunning = link_.Deadline().has_value();
    view.portOpen = link_.SerialLine().PortUsable();
    view.state = link_.State().protocolState;
    static_cast<testkit::PortCounts&>(view.counts) = counting_->counts;
  });
  return view;
}

void HeadlessHost::ShowProgress(int position, std::string_view percent) {
  view_.progress = position;
  view_.labels[int(Label::Percent)].assign(percent);
}

void HeadlessHost::ShowVersions(std::string_view dsp1, std::string_view dsp2) {
  view_.labels[int(Label::VersionDsp1)].assign(dsp1);
  view_.labels[int(Label::VersionDsp2)].assign(dsp2);
}

void HeadlessHost::ReportOutcome(const ExchangeOutcome& outcome) {
  if (!MessageFor(outcome).empty()) messages_.Add(MessageFor(outcome));
}

}  // namespace vannor::headless
