#include "testing/headless_host.h"

#include <linux/futex.h>
#include <sys/syscall.h>
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
    : timerMode_(timer), line_(std::make_unique<testkit::CountingLine>()), engine_(*line_, *this) {
  thread_ = std::thread(&HeadlessHost::Run, this);
}

HeadlessHost::~HeadlessHost() {
  // A test that ended early still runs the stop sequence before the link goes.
  Call([this] { line_->StopLink(); });
  quit_.store(true);
  Wake();
  thread_.join();
}

void HeadlessHost::Wake() {
  wakeWord_.fetch_add(1);
  if (asleep_.load()) {
    // Fails only for a bad address; the word is ours and lives as long as the host.
    syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&wakeWord_), FUTEX_WAKE_PRIVATE, 1, nullptr,
            nullptr, 0);
  }
}

void HeadlessHost::Run() {
  for (;;) {
    const std::uint32_t seen = wakeWord_.load();
    if (notificationsQueued_.load() > 0) {
      notificationsQueued_.fetch_sub(1);
      ++counts_.notifications;
      engine_.OnCommNotify();
      continue;
    }
    if (callsQueued_.load() > 0) {
      std::function<void()> work;
      {
        std::lock_guard lock(callsMutex_);
        work = std::move(calls_.front());
        calls_.pop_front();
      }
      callsQueued_.fetch_sub(1);
      work();
      continue;
    }
    if (quit_.load()) return;
    const bool timed = timerMode_ == Timer::Real && timerRunning_;
    if (timed && std::chrono::steady_clock::now() >= timerDue_) {
      // Periodic like the window's timer: the engine stops it when it handles the expiry.
      timerDue_ += timerPeriod_;
      ++counts_.timerExpiries;
      engine_.OnTimer();
      continue;
    }
    asleep_.store(true);
    if (wakeWord_.load() == seen) {
      timespec due{};
      if (timed) {
        const auto sinceEpoch = timerDue_.time_since_epoch();
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch);
        due.tv_sec = seconds.count();
        due.tv_nsec =
            std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch - seconds).count();
      }
      // Returns at a wake-up, at the timer's due time (steady_clock is CLOCK_MONOTONIC), on a
      // signal, or at once when a post changed the word meanwhile: each case loops to look.
      syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&wakeWord_), FUTEX_WAIT_BITSET_PRIVATE,
              seen, timed ? &due : nullptr, nullptr, FUTEX_BITSET_MATCH_ANY);
    }
    asleep_.store(false);
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
  callsQueued_.fetch_add(1);
  Wake();
  std::unique_lock lock(doneMutex);
  doneSignal.wait(lock, [&] { return done; });
}

int HeadlessHost::OpenAndListen(int portIndex) {
  int opened = 0;
  Call([&] {
    portIndex_ = portIndex;
    portSelection_ = portIndex;
    opened = line_->OpenPort(portIndex);
    (void)line_->StartListener(*this);  // without one, every exchange ends at its time-out
  });
  return opened;
}

int HeadlessHost::SelectPort(int index) {
  int now = 0;
  Call([&] {
    portSelection_ = index;
    OnPortSelChange(*this, *line_, portIndex_);
    now = portIndex_;
  });
  return now;
}

void HeadlessHost::End() {
  Call([this] {
    line_->StopLink();
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

HostCounts HeadlessHost::Counts() {
  HostCounts counts;
  Call([&] {
    counts = counts_;
    counts.pendingQueries = line_->counts.pendingQueries;
    counts.reads = line_->counts.reads;
    counts.writes = line_->counts.writes;
  });
  return counts;
}

void HeadlessHost::ResetCounts() {
  Call([this] {
    counts_ = HostCounts{};
    line_->counts = testkit::PortCounts{};
  });
}

ProtocolState HeadlessHost::EngineState() {
  ProtocolState state{};
  Call([&] { state = engine_.State().protocolState; });
  return state;
}

std::chrono::nanoseconds HeadlessHost::ListenerCpu() {
  std::chrono::nanoseconds used{0};
  Call([&] { used = line_->ListenerCpuTime(); });
  return used;
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

void HeadlessHost::ShowMessage(std::string_view text) {
  std::lock_guard lock(messagesMutex_);
  messages_.emplace_back(text);
  messageShown_.notify_all();
}

void HeadlessHost::ShowPortNotUsable() {
  ShowMessage(MSG_NOT_USE_COM_PORT);
}

bool HeadlessHost::ChooseImageFile(std::string& path) {
  if (imagePath_.empty()) return false;
  path = imagePath_;
  return true;
}

void HeadlessHost::PostCommNotify() {
  notificationsQueued_.fetch_add(1);
  Wake();
}

}  // namespace vannor::headless
