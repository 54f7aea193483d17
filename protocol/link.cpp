#include "protocol/link.h"

#include "serial/adapter_latency.h"
#include "serial/port_names.h"
#include "serial/present_ports.h"

namespace vannor {

Link::Link(LinkHost& host, std::string program, bool trace, std::unique_ptr<PortBackend> backend)
    : host_(host),
      program_(std::move(program)),
      line_(std::move(backend)),
      engine_(line_, *this),
      latency_(stderr, program_, line_),
      diagnostics_(stderr, program_, line_),
      record_(line_) {
  // The first observers always have room.
  (void)engine_.AddObserver(&latency_);
  (void)engine_.AddObserver(&record_);
  if (trace) {
    trace_.emplace(stderr, program_);
    (void)engine_.AddObserver(&*trace_);
  }
}

Link::~Link() {
  Stop();
}

bool Link::OpenPort(int index) {
  const bool opened = line_.OpenPort(index) == 1;
  portIndex_ = index;
  return Opened(opened, std::string(PortName(index)));
}

bool Link::OpenDevice(const std::string& name) {
  const bool opened = line_.OpenDevice(name) == 1;
  portIndex_ = PortIndexOf(name);
  return Opened(opened, name);
}

bool Link::Opened(bool opened, std::string label) {
  NamePort(std::move(label));
  // Read once per open, not per request: an adapter pulled out mid-write is still named.
  // The same words as the COM ports dialog's, for the device actually open.
  record_.SetPort(portLabel_, line_.Device(), opened ? DescribePort(line_.Device(), {}) : "");
  WatchOnce();
  return opened;
}

void Link::NamePort(std::string label) {
  if (label == portLabel_) return;
  portLabel_ = std::move(label);
  record_.SetPort(portLabel_, {}, {});
  // Another port, maybe another adapter: told again, under its name.
  const std::string prefix = program_ + ": " + portLabel_;
  latency_.SetPrefix(prefix);
  if (trace_) trace_->SetPrefix(prefix);
}

void Link::Stop() {
  if (engine_.Busy()) record_.Stopped(engine_.State().sendIndex);
  line_.Stop();
}

void Link::WatchOnce() {
  if (watchStarted_) return;
  watchStarted_ = true;
  // A port that cannot be watched stays usable for writes; the host tells the user (Watching).
  (void)line_.StartWatching(host_);
}

std::string Link::PortAndDevice() const {
  const std::string& device = line_.Device();
  return device.empty() || device == portLabel_ ? portLabel_ : portLabel_ + " (" + device + ")";
}

int Link::OnPortPicked(int index, PortPickQuestions& questions) {
  if (engine_.LeavesDspUnfinished() && !questions.LeaveUnfinishedUpdate()) return portIndex_;
  // No byte of the exchange may go to the new port, and nobody may be left waiting for it.
  engine_.EndExchange(FailureCause::PortChanged);
  // The device in use, even when a link has moved its name elsewhere since it opened.
  const ResolvedPort before = line_.OpenedPort();
  const bool valid = index >= 0 && index < PORT_COUNT;
  if (valid && line_.OpenPort(index) == 1) {
    (void)Opened(true, std::string(PortName(index)));
    portIndex_ = index;
    return portIndex_;
  }
  const OpenFailure failure = line_.LastOpenFailure();
  // Whatever its result: the list shows the port chosen last.
  if (before.path.empty()) {
    (void)line_.OpenPort(portIndex_);
  } else {
    (void)line_.Reopen(before);
  }
  // Without a valid pick there is nothing to tell: the port in use came back.
  if (valid) questions.ShowPortNotUsable(index, failure);
  return portIndex_;
}

void Link::StartUpdate(std::uint8_t mask, const ImageSource& source) {
  RequestUpdate(*this, mask, source);
}

void Link::Refuse(std::uint8_t mask, const ChosenImage& chosen, const ExchangeOutcome& outcome) {
  record_.BeginUpdate(mask, chosen.length, &chosen);
  record_.Refused(outcome);
  host_.ReportOutcome(outcome);
}

void Link::Send(std::uint8_t mask, std::shared_ptr<const UpdateImage> image) {
  const ChosenImage& chosen = image->chosen;
  if (!host_.OpenForRequest()) {
    RecordPortNotUsable(mask, &chosen);
    return;
  }
  record_.BeginUpdate(mask, chosen.length, &chosen);
  if (trace_) trace_->OnImage(chosen.path, chosen.length, chosen.sha256);
  image_ = std::move(image);
  engine_.OnUpdateClicked(mask, image_->bytes.data(), chosen.length);
  if (engine_.State().protocolState != ProtocolState::AwaitCommandAck) return;
  // An image on its way: a slow USB adapter is told now, before the user waits for it.
  const std::string note = SlowPortNote(EchoHoldOf(line_), chosen.length);
  if (!note.empty()) {
    std::fprintf(stderr, "%s: %s: %s\n", program_.c_str(), PortAndDevice().c_str(), note.c_str());
  }
}

void Link::RecordPortNotUsable(std::uint8_t mask, const ChosenImage* image) {
  if (image == nullptr) {
    record_.BeginVersionRead();
  } else {
    record_.BeginUpdate(mask, image->length, image);
  }
  record_.PortNotUsable(line_.LastOpenFailure().reason);
}

void Link::OnVerReadClicked() {
  if (!engine_.Busy()) {
    if (!host_.OpenForRequest()) {
      RecordPortNotUsable(0, nullptr);
      return;
    }
    record_.BeginVersionRead();
  }
  engine_.OnVerReadClicked();
}

void Link::OnPortReady() {
  engine_.OnCommNotify();
}

bool Link::OnDeadline(LinkClock::time_point now) {
  if (!deadline_) return false;
  if (now < *deadline_) {
    // A host timer that rounds may come a moment early: it waits again for the rest.
    host_.DeadlineChanged();
    return false;
  }
  deadline_.reset();
  // The engine measures by the time the host woke at, so that a host that runs the clock on
  // (the tests' host, a loop that woke late) sees the same decisions as one that waited.
  eventTime_ = now;
  const bool fell = engine_.OnTimer();
  eventTime_.reset();
  return fell;
}

int Link::MillisecondsToDeadline(LinkClock::time_point now) const {
  if (!deadline_) return -1;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline_ - now);
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

bool Link::Service(bool portReady, LinkClock::time_point now) {
  // A deadline that has come reads the port itself before it may fall (the engine's OnTimer).
  if (deadline_ && now >= *deadline_) return OnDeadline(now);
  if (portReady) OnPortReady();
  return false;
}

void Link::StartResponseTimer(int milliseconds) {
  deadline_ = Now() + std::chrono::milliseconds(milliseconds);
  host_.DeadlineChanged();
}

void Link::StopResponseTimer() {
  if (!deadline_) return;
  deadline_.reset();
  host_.DeadlineChanged();
}

void Link::ReportOutcome(const ExchangeOutcome& outcome) {
  // The engine has done with the image: nobody keeps it between Updates. Before the box, which
  // is modal: a request started under it keeps its own.
  if (!engine_.Busy()) image_.reset();
  host_.ReportOutcome(outcome);
}

}  // namespace vannor
