#include "testing/headless_host.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include "protocol/messages.h"

namespace vannor::headless {

HeadlessHost::HeadlessHost(Timer timer)
    : timerMode_(timer), link_(*this, "vannor", ExchangeTrace::Requested(), [this] {
        auto counting = std::make_unique<testkit::CountingBackend>();
        counting_ = counting.get();
        return counting;
      }()) {
  (void)link_.Follow(*this);  // the link's own observers leave room
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  thread_ = std::thread(&HeadlessHost::Run, this);
}

HeadlessHost::~HeadlessHost() {
  // A test that ended early still runs the stop sequence before the link goes.
  Call([this] { link_.Stop(); });
  {
    std::lock_guard lock(callsMutex_);
    quit_ = true;
  }
  const std::uint64_t one = 1;
  // Ignored: a counter at its maximum wakes the thread just as well.
  (void)write(wakeFd_, &one, sizeof one);
  thread_.join();
  (void)close(wakeFd_);  // ours, and nobody waits on it any more
}

bool HeadlessHost::DeadlineFallsByItself() const {
  // The wait for a quiet line before a request is no time-out: it passes in every mode.
  return timerMode_ == Timer::Real || link_.AwaitingQuietLine();
}

int HeadlessHost::DeadlineWaitMs() const {
  return DeadlineFallsByItself() ? link_.MillisecondsToDeadline(LinkClock::now()) : -1;
}

void HeadlessHost::RunCalls() {
  std::uint64_t count;
  // EAGAIN when a previous pass already took the wake-up: the queue is looked at anyway.
  (void)read(wakeFd_, &count, sizeof count);
  for (;;) {
    std::function<void()> work;
    {
      std::lock_guard lock(callsMutex_);
      if (calls_.empty()) return;
      work = std::move(calls_.front());
      calls_.pop_front();
    }
    work();
  }
}

void HeadlessHost::Run() {
  threadHandle_ = pthread_self();
  for (;;) {
    const int port = link_.Waitable();
    pollfd watched[2] = {{.fd = wakeFd_, .events = POLLIN, .revents = 0},
                         {.fd = port, .events = POLLIN, .revents = 0}};
    const nfds_t count = port == NO_DESCRIPTOR ? 1 : 2;
    // EINTR: look again.
    if (poll(watched, count, DeadlineWaitMs()) < 0) continue;
    const bool portReady = count == 2 && watched[1].revents != 0;
    if (portReady) ++counts_.notifications;
    // A deadline that does not fall by itself waits for FireTimer.
    const bool quietWait = link_.AwaitingQuietLine();
    const auto now = DeadlineFallsByItself() ? LinkClock::now() : LinkClock::time_point::min();
    if (link_.Service(portReady, now) && !quietWait) ++counts_.timerExpiries;
    if (watched[0].revents != 0) {
      RunCalls();
      std::lock_guard lock(callsMutex_);
      if (quit_) return;
    }
  }
}

void HeadlessHost::Call(const std::function<void()>& work) {
  std::mutex doneMutex;
  std::condition_variable doneSignal;
  bool done = false;
  {
    std::lock_guard lock(callsMutex_);
    calls_.emplace_back([&] {
      work();
      std::lock_guard doneLock(doneMutex);
      done = true;
      doneSignal.notify_one();
    });
  }
  const std::uint64_t one = 1;
  // Ignored: a counter at its maximum wakes the thread just as well.
  (void)write(wakeFd_, &one, sizeof one);
  std::unique_lock lock(doneMutex);
  doneSignal.wait(lock, [&] { return done; });
}

bool HeadlessHost::OpenAndListen(int portIndex) {
  bool opened = false;
  Call([&] { opened = link_.OpenPort(portIndex); });
  return opened;
}

int HeadlessHost::SelectPort(int index, bool leaveUpdate) {
  int now = 0;
  Call([&] {
    leaveUpdate_ = leaveUpdate;
    now = link_.OnPortPicked(index, *this);
  });
  return now;
}

void HeadlessHost::End() {
  Call([this] {
    link_.Stop();
    endedOk_ = true;
  });
}

void HeadlessHost::ClickUpdate(const std::string& imagePath) {
  Call([&] {
    // The window's Update: the file dialog gives `imagePath`, or nothing when it is empty.
    link_.StartUpdate(SelectionMask(boxes_), ImageSource([&]() -> std::optional<std::string> {
                        if (imagePath.empty()) return std::nullopt;
                        return imagePath;
                      }));
  });
}

void HeadlessHost::ClickVerRead() {
  Call([this] { link_.OnVerReadClicked(); });
}

void HeadlessHost::SetChecked(Box box, bool checked) {
  Call([&] {
    switch (box) {
      case Box::WriteDsp1:
        boxes_.writeDsp1 = checked;
        break;
      case Box::Tavix3Dsp1:
        boxes_.tavix3Dsp1 = checked;
        break;
      case Box::WriteDsp2:
        boxes_.writeDsp2 = checked;
        break;
      case Box::Tavix3Dsp2:
        boxes_.tavix3Dsp2 = checked;
        break;
    }
  });
}

bool HeadlessHost::WaitForMessages(std::size_t count, std::chrono::milliseconds limit) {
  std::unique_lock lock(messagesMutex_);
  return messageShown_.wait_for(lock, limit, [&] { return messages_.size() >= count; });
}

std::vector<std::string> HeadlessHost::Messages() {
  std::lock_guard lock(messagesMutex_);
  return messages_;
}

int HeadlessHost::QuestionsAsked() {
  int asked = 0;
  Call([&] { asked = questions_; });
  return asked;
}

std::string HeadlessHost::LabelText(Label label) {
  std::string text;
  Call([&] { text = labels_[static_cast<int>(label)]; });
  return text;
}

int HeadlessHost::Progress() {
  int position = 0;
  Call([&] { position = progress_; });
  return position;
}

bool HeadlessHost::TimerRunning() {
  bool running = false;
  Call([&] { running = link_.Deadline().has_value(); });
  return running;
}

bool HeadlessHost::FireTimer() {
  bool fired = false;
  Call([&] {
    // A request still waiting for a quiet line goes out (or gives up) first; that ends within
    // UNASKED_LIMIT_MS worth of periods.
    while (link_.AwaitingQuietLine() && link_.Deadline()) link_.OnDeadline(*link_.Deadline());
    if (!link_.Deadline()) return;
    fired = true;
    ++counts_.timerExpiries;
    link_.OnDeadline(*link_.Deadline());
  });
  return fired;
}

bool HeadlessHost::EndedOk() {
  bool ended = false;
  Call([&] { ended = endedOk_; });
  return ended;
}

bool HeadlessHost::PortOpen() {
  bool open = false;
  Call([&] { open = link_.SerialLine().PortUsable(); });
  return open;
}

HostCounts HeadlessHost::Counts() {
  HostCounts counts;
  Call([&] {
    counts = counts_;
    counts.pendingQueries = counting_->counts.pendingQueries;
    counts.reads = counting_->counts.reads;
    counts.writes = counting_->counts.writes;
  });
  return counts;
}

void HeadlessHost::ResetCounts() {
  Call([this] {
    counts_ = HostCounts{};
    counting_->counts = testkit::PortCounts{};
  });
}

ProtocolState HeadlessHost::EngineState() {
  ProtocolState state{};
  Call([&] { state = link_.State().protocolState; });
  return state;
}

std::chrono::nanoseconds HeadlessHost::EventThreadCpu() {
  clockid_t clock;
  timespec used;
  if (pthread_getcpuclockid(threadHandle_, &clock) != 0 || clock_gettime(clock, &used) != 0) {
    return std::chrono::nanoseconds(-1);
  }
  return std::chrono::seconds(used.tv_sec) + std::chrono::nanoseconds(used.tv_nsec);
}

void HeadlessHost::ShowProgress(int position, std::string_view percent) {
  progress_ = position;
  labels_[static_cast<int>(Label::Percent)].assign(percent);
}

void HeadlessHost::ShowVersions(std::string_view dsp1, std::string_view dsp2) {
  labels_[static_cast<int>(Label::VersionDsp1)].assign(dsp1);
  labels_[static_cast<int>(Label::VersionDsp2)].assign(dsp2);
}

bool HeadlessHost::LeaveUnfinishedUpdate() {
  ++questions_;
  return leaveUpdate_;
}

void HeadlessHost::RecordMessage(std::string_view text) {
  std::lock_guard lock(messagesMutex_);
  messages_.emplace_back(text);
  messageShown_.notify_all();
}

void HeadlessHost::ReportOutcome(const ExchangeOutcome& outcome) {
  const std::string_view text = MessageFor(outcome);
  if (!text.empty()) RecordMessage(text);
}

void HeadlessHost::ShowPortNotUsable(int, const OpenFailure&) {
  RecordMessage(MSG_NOT_USE_COM_PORT);
}

}  // namespace vannor::headless
