#include "cli/radio_link.h"

#include "cli/exit_codes.h"
#include "protocol/number_texts.h"

namespace vannor::cli {

RadioLink::RadioLink(std::string port, bool verbose, LoopWake& wake, HistoryLog& history)
    : port_(std::move(port)),
      wake_(wake),
      link_(*this, "vannor-cli", verbose || ExchangeTrace::Requested()) {
  link_.NamePort(port_);
  link_.KeepHistory(history);
}

void RadioLink::StartVersionRead() {
  link_.OnVerReadClicked();
}

void RadioLink::StartWrite(std::uint8_t mask, const ImageSource& image) {
  image_ = &image;
  link_.StartUpdate(mask, image);
  image_ = nullptr;
}

bool RadioLink::Open() {
  // Opened already (the benchmarks open first, to time the request alone): kept as it is.
  if (link_.SerialLine().PortUsable() && link_.Watching()) return true;
  if (!link_.OpenDevice(port_)) {
    outcome_ = LinkOutcome{EXIT_PORT_UNUSABLE, link_.PortAndDevice() + ": " +
                                                   link_.SerialLine().LastOpenFailure().reason};
    return false;
  }
  if (!link_.Watching()) {
    outcome_ = LinkOutcome{EXIT_PORT_UNUSABLE, port_ + ": cannot watch the port for replies"};
    return false;
  }
  return true;
}

std::optional<LinkClock::time_point> RadioLink::Deadline() const {
  if (Done()) return std::nullopt;
  return link_.Deadline();
}

void RadioLink::Interrupt() {
  if (Done()) return;
  const bool unfinished = link_.LeavesDspUnfinished();
  outcome_ =
      LinkOutcome{EXIT_INTERRUPTED,
                  port_ + (unfinished ? ": interrupted; the DSP is left unfinished, write it again"
                                      : ": interrupted before any image byte was sent")};
}

LinkOutcome RadioLink::Finish() {
  link_.Stop();
  return outcome_.value_or(LinkOutcome{EXIT_COMMUNICATION, port_ + ": ended without an answer"});
}

void RadioLink::ReportOutcome(const ExchangeOutcome& outcome) {
  if (Done()) return;
  const OutcomeWords words = WordsFor(outcome, link_.SerialLine());
  const auto said = [&words](const std::string& subject, const std::string& cause) {
    return subject + ": " + std::string(words.title) + (cause.empty() ? "" : ": " + cause);
  };
  switch (outcome.kind) {
    case Outcome::VersionsRead: {
      const VersionText dsp1 = FormatVersion(outcome.versions[0], outcome.versions[1]);
      const VersionText dsp2 = FormatVersion(outcome.versions[2], outcome.versions[3]);
      outcome_ =
          LinkOutcome{EXIT_SUCCESS_ALL, std::string("DSP1 ") + dsp1.text + "  DSP2 " + dsp2.text};
      return;
    }
    case Outcome::Completed:
      outcome_ =
          LinkOutcome{EXIT_SUCCESS_ALL, port_ + ": written (" + std::to_string(outcome.length) +
                                            " " + ByteUnit(outcome.length) + ")"};
      return;
    case Outcome::CommunicationError:
      // A port that failed is told with its device, in the system's words alone.
      outcome_ = outcome.failure.cause == FailureCause::PortFailed
                     ? LinkOutcome{EXIT_COMMUNICATION, link_.PortAndDevice() + ": " + words.cause}
                     : LinkOutcome{EXIT_COMMUNICATION, said(port_, words.cause)};
      return;
    case Outcome::OnlyOnce:
      outcome_ = LinkOutcome{EXIT_COMMUNICATION, said(port_, words.cause)};
      return;
    case Outcome::DspNotSelected:
      // The options that choose a DSP, which only the command line knows.
      refused_ = true;
      outcome_ = LinkOutcome{EXIT_USAGE, said(port_, "give --dsp1, --dsp2 or both")};
      return;
    case Outcome::ImageRefused: {
      refused_ = true;
      // The file as given, and its own problem.
      const std::shared_ptr<const UpdateImage> image = image_ ? image_->Image() : nullptr;
      outcome_ =
          image ? LinkOutcome{EXIT_IMAGE_REFUSED, said(image->chosen.path, image->chosen.problem)}
                : LinkOutcome{EXIT_IMAGE_REFUSED, said(port_, {})};
      return;
    }
  }
}

}  // namespace vannor::cli
