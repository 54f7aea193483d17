#include "testing/headless_host.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include "protocol/messages.h"

namespace vannor::headless {

namespace {

int BoxIndex(Box box) {
  return static_cast<int>(box);
}

int LabelIndex(Label label) {
  return static_cast<int>(label);
}

}  // namespace

HeadlessHost::HeadlessHost(Timer timer)
    : timerMode_(timer),
      line_([this] {
        auto counting = std::make_unique<testkit::CountingBackend>();
        counting_ = counting.get();
        return counting;
      }()),
      engine_(line_, *this) {
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  thread_ = std::thread(&HeadlessHost::Run, this);
}

HeadlessHost::~HeadlessHost() {
  // A test that ended early still runs the stop sequence before the link goes.
  Call([this] { line_.StopLink(); });
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

int HeadlessHost::TimerWaitMs() const {
  if (timerMode_ != Timer::Real || !timerRunning_) return -1;
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(timerDue_ - std::chrono::steady_clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
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
    pollfd watched[2] = {{.fd = wakeFd_, .events = POLLIN, .revents = 0},
                         {.fd = watched_, .events = POLLIN, .revents = 0}};
    const nfds_t count = watched_ == NO_DESCRIPTOR ? 1 : 2;
    // EINTR: look again.
    if (poll(watched, count, TimerWaitMs()) < 0) continue;
    if (count == 2 && watched[1].revents != 0) {
      ++counts_.notifications;
      line_.OnPortReady((watched[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0);
      engine_.OnCommNotify();
    }
    if (watched[0].revents != 0) {
      RunCalls();
      std::lock_guard lock(callsMutex_);
      if (quit_) return;
    }
    if (timerMode_ == Timer::Real && timerRunning_ &&
        std::chrono::steady_clock::now() >= timerDue_) {
      // Periodic like the window's timer: the engine stops it when it handles the expiry.
      timerDue_ += timerPeriod_;
      ++counts_.timerExpiries;
      engine_.OnTimer();
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

int HeadlessHost::OpenAndListen(int portIndex) {
  int opened = 0;
  Call([&] {
    portIndex_ = portIndex;
    portSelection_ = portIndex;
    opened = line_.OpenPort(portIndex);
    (void)line_.StartListener(*this);  // watching a descriptor cannot fail
  });
  return opened;
}

int HeadlessHost::SelectPort(int index) {
  int now = 0;
  Call([&] {
    portSelection_ = index;
    OnPortSelChange(*this, line_, portIndex_);
    now = portIndex_;
  });
  return now;
}

void HeadlessHost::End() {
  Call([this] {
    line_.StopLink();
    endedOk_ = true;
  });
}

void HeadlessHost::ClickUpdate(const std::string& imagePath) {
  Call([&] {
    imagePath_ = imagePath;
    engine_.OnUpdateClicked();
  });
}

void HeadlessHost::ClickVerRead() {
  Call([this] { engine_.OnVerReadClicked(); });
}

void HeadlessHost::SetChecked(Box box, bool checked) {
  Call([&] { checked_[BoxIndex(box)] = checked; });
}

bool HeadlessHost::WaitForMessages(std::size_t count, std::chrono::milliseconds limit) {
  std::unique_lock lock(messagesMutex_);
  return messageShown_.wait_for(lock, limit, [&] { return messages_.size() >= count; });
}

std::vector<std::string> HeadlessHost::Messages() {
  std::lock_guard lock(messagesMutex_);
  return messages_;
}

std::string HeadlessHost::LabelText(Label label) {
  std::string text;
  Call([&] { text = labels_[LabelIndex(label)]; });
  return text;
}

int HeadlessHost::Progress() {
  int position = 0;
  Call([&] { position = progress_; });
  return position;
}

bool HeadlessHost::TimerRunning() {
  bool running = false;
  Call([&] { running = timerRunning_; });
  return running;
}

bool HeadlessHost::FireTimer() {
  bool fired = false;
  Call([&] {
    if (!timerRunning_) return;
    fired = true;
    ++counts_.timerExpiries;
    engine_.OnTimer();
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
  Call([&] { open = line_.PortUsable(); });
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
  Call([&] { state = engine_.State().protocolState; });
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

void HeadlessHost::StartResponseTimer(int milliseconds) {
  timerRunning_ = true;
  timerPeriod_ = std::chrono::milliseconds(milliseconds);
  timerDue_ = std::chrono::steady_clock::now() + timerPeriod_;
}

void HeadlessHost::StopResponseTimer() {
  timerRunning_ = false;
}

bool HeadlessHost::IsChecked(Box box) {
  return checked_[BoxIndex(box)];
}

void HeadlessHost::SetProgress(int position) {
  progress_ = position;
}

void HeadlessHost::SetLabelText(Label label, std::string_view text) {
  labels_[LabelIndex(label)].assign(text);
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

bool HeadlessHost::ChooseImageFile(std::string& path) {
  if (imagePath_.empty()) return false;
  path = imagePath_;
  return true;
}

}  // namespace vannor::headless
