#include "cli/radio_link.h"

#include <cstdio>

#include "cli/exit_codes.h"
#include "serial/adapter_latency.h"

namespace vannor::cli {

RadioLink::RadioLink(std::string port, bool verbose, LoopWake& wake)
    : port_(std::move(port)),
      wake_(wake),
      engine_(line_, *this),
      latency_(stderr, "vannor-cli: " + port_, line_) {
  // The first observers always have room.
  (void)engine_.AddObserver(&latency_);
  if (verbose || ExchangeTrace::Requested()) {
    trace_.emplace(stderr, "vannor-cli: " + port_);
    (void)engine_.AddObserver(&*trace_);
  }
}

RadioLink::~RadioLink() {
  line_.StopLink();
}

std::string RadioLink::PortAndDevice() const {
  const std::string& device = line_.Device();
  return device.empty() || device == port_ ? port_ : port_ + " (" + device + ")";
}

bool RadioLink::Open() {
  if (line_.OpenDevice(port_) != 1) {
    outcome_ =
        LinkOutcome{EXIT_PORT_UNUSABLE, PortAndDevice() + ": " + line_.LastOpenFailure().reason};
    return false;
  }
  if (!line_.StartListener(*this)) {
    outcome_ = LinkOutcome{EXIT_PORT_UNUSABLE, port_ + ": cannot watch the port for replies"};
    return false;
  }
  return true;
}

void RadioLink::TellSlowAdapter(std::uint32_t length) const {
  const std::string note = SlowPortNote(EchoHoldOf(line_), length);
  if (!note.empty())
    std::fprintf(stderr, "vannor-cli: %s: %s\n", PortAndDevice().c_str(), note.c_str());
}

void RadioLink::StartVersionRead() {
  engine_.OnVerReadClicked();
}

void RadioLink::StartWrite(const WriteRequest& request, const std::uint8_t* image,
                           std::uint32_t length) {
  request_ = request;
  engine_.OnUpdateWithImage(image, length);
}

std::optional<std::chrono::steady_clock::time_point> RadioLink::TimerDue() const {
  if (!timerRunning_ || Done()) return std::nullopt;
  return timerDue_;
}

void RadioLink::OnPortReady(bool hungUp) {
  line_.OnPortReady(hungUp);
  engine_.OnCommNotify();
}

void RadioLink::OnTimeReached(std::chrono::steady_clock::time_point now) {
  if (!timerRunning_ || now < timerDue_) return;
  timerRunning_ = false;
  engine_.OnTimer();
}

void RadioLink::PostCommNotify() {
  // The Windows listener: the loop wakes and hands every link the notification.
  wake_.Wake();
}

void RadioLink::Interrupt() {
  if (Done()) return;
  // Only an image the radio has started to take leaves its DSP unfinished.
  const bool unfinished = engine_.State().protocolState == ProtocolState::Sending;
  outcome_ =
      LinkOutcome{EXIT_INTERRUPTED,
                  port_ + (unfinished ? ": interrupted; the DSP is left unfinished, write it again"
                                      : ": interrupted before any image byte was sent")};
}

LinkOutcome RadioLink::Finish() {
  line_.StopLink();
  return outcome_.value_or(LinkOutcome{EXIT_COMMUNICATION, port_ + ": ended without an answer"});
}

void RadioLink::StartResponseTimer(int milliseconds) {
  timerRunning_ = true;
  timerDue_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
}

void RadioLink::StopResponseTimer() {
  timerRunning_ = false;
}

bool RadioLink::IsChecked(Box box) {
  switch (box) {
    case Box::WriteDsp1:
      return request_.writeDsp1;
    case Box::Tavix3Dsp1:
      return request_.tavix3Dsp1;
    case Box::WriteDsp2:
      return request_.writeDsp2;
    case Box::Tavix3Dsp2:
      return request_.tavix3Dsp2;
  }
  return false;
}

void RadioLink::ReportOutcome(const ExchangeOutcome& outcome) {
  if (Done()) return;
  switch (outcome.kind) {
    case Outcome::VersionsRead: {
      const VersionText dsp1 = FormatVersion(outcome.versions[0], outcome.versions[1]);
      const VersionText dsp2 = FormatVersion(outcome.versions[2], outcome.versions[3]);
      outcome_ =
          LinkOutcome{EXIT_SUCCESS_ALL, std::string("DSP1 ") + dsp1.text + "  DSP2 " + dsp2.text};
      return;
    }
    case Outcome::Completed:
      outcome_ = LinkOutcome{EXIT_SUCCESS_ALL,
                             port_ + ": written (" + std::to_string(outcome.length) + " bytes)"};
      return;
    case Outcome::CommunicationError:
      if (outcome.failure.cause == FailureCause::PortFailed) {
        outcome_ = LinkOutcome{EXIT_COMMUNICATION, PortAndDevice() + ": " + line_.FailureReason()};
      } else {
        outcome_ =
            LinkOutcome{EXIT_COMMUNICATION,
                        port_ + ": Communication Error: " + DescribeFailure(outcome.failure)};
      }
      return;
    case Outcome::DspNotSelected:
      outcome_ = LinkOutcome{EXIT_USAGE, port_ + ": DSP Select Error: give --dsp1, --dsp2 or both"};
      return;
    case Outcome::ImageRefused:
      outcome_ = LinkOutcome{EXIT_IMAGE_REFUSED,
                             port_ + ": File Size Error: the image must hold 1 to 200000 bytes"};
      return;
    case Outcome::OnlyOnce:
      outcome_ = LinkOutcome{EXIT_COMMUNICATION, port_ + ": Only once when starting up"};
      return;
  }
}

}  // namespace vannor::cli
