// What an outcome says, in the window's message texts and in the lines of traces and the
// command line.
#include <algorithm>
#include <cstdio>

#include "protocol/exchange_observer.h"
#include "protocol/exchange_outcome.h"
#include "protocol/exchange_trace.h"
#include "protocol/messages.h"
#include "serial/line.h"

namespace vannor {

std::string_view MessageFor(const ExchangeOutcome& outcome) {
  switch (outcome.kind) {
    case Outcome::Completed:
      return MSG_COMPLETION;
    case Outcome::VersionsRead:
      return {};
    case Outcome::CommunicationError:
      return MSG_COMMUNICATION_ERROR;
    case Outcome::DspNotSelected:
      return MSG_DSP_SELECT_ERROR;
    case Outcome::OnlyOnce:
      return MSG_ONLY_ONCE;
    case Outcome::ImageRefused:
      switch (outcome.refusal) {
        case ImageRefusal::NotOut:
          return MSG_FILE_ERROR;
        case ImageRefusal::Size:
          return MSG_FILE_SIZE_ERROR;
        case ImageRefusal::Unreadable:
          return MSG_FILE_OPEN_ERROR;
      }
  }
  return {};
}

OutcomeWords WordsFor(const ExchangeOutcome& outcome, const Line& line) {
  OutcomeWords words{.message = MessageFor(outcome), .title = {}, .cause = {}};
  words.title = words.message;
  while (!words.title.empty() && (words.title.back() == ' ' || words.title.back() == '!')) {
    words.title.remove_suffix(1);
  }
  while (!words.title.empty() && words.title.front() == ' ') words.title.remove_prefix(1);
  switch (outcome.kind) {
    case Outcome::CommunicationError:
      words.cause = outcome.failure.cause == FailureCause::PortFailed
                        ? line.FailureReason()
                        : DescribeFailure(outcome.failure);
      break;
    case Outcome::DspNotSelected:
      words.cause = "no DSP chosen to write";
      break;
    case Outcome::OnlyOnce:
      words.cause = "a command already went out this run";
      break;
    case Outcome::Completed:
    case Outcome::VersionsRead:
    case Outcome::ImageRefused:
      break;
  }
  return words;
}

const char* AwaitedStep(ProtocolState state) {
  switch (state) {
    case ProtocolState::AwaitCommandAck:
      return "the ACK of the write request";
    case ProtocolState::AwaitStartAck:
      return "the ACK of the enquiry";
    case ProtocolState::Sending:
      return "the echo of an image byte";
    case ProtocolState::AwaitVersion1:
    case ProtocolState::AwaitVersion2:
    case ProtocolState::AwaitVersion3:
    case ProtocolState::AwaitVersion4:
      return "the version reply";
    case ProtocolState::Idle:
      break;
  }
  return "nothing";
}

std::string DescribeFailure(const ExchangeFailure& failure) {
  // Each piece goes through a small buffer of its own, which snprintf never runs past.
  std::string text;
  char piece[64];
  auto append = [&](int written) {
    if (written > 0)
      text.append(piece, std::min(static_cast<std::size_t>(written), sizeof piece - 1));
  };
  if (failure.cause == FailureCause::UnaskedBytes) {
    text = "the radio sends without being asked: bytes kept coming for 1 s, so the ";
    text += failure.state == ProtocolState::AwaitCommandAck ? "write" : "version";
    append(std::snprintf(piece, sizeof piece, " request was not sent (last 0x%02X)",
                         failure.received));
    return text;
  }
  const char* what = "no answer within 5 s";
  switch (failure.cause) {
    case FailureCause::WrongAnswer:
      what = "wrong answer";
      break;
    case FailureCause::ExtraByte:
      what = "a byte came before its image byte was sent";
      break;
    case FailureCause::TimedOut:
      break;
    case FailureCause::PortFailed:
      what = "the port failed";
      break;
    case FailureCause::PortChanged:
      what = "port changed";
      break;
    case FailureCause::UnaskedBytes:
      break;
  }
  text = what;
  text += " while awaiting ";
  text += AwaitedStep(failure.state);
  if (failure.state == ProtocolState::Sending) {
    append(std::snprintf(piece, sizeof piece, " (byte %u of %u, 0x%02X)", failure.byteIndex + 1,
                         failure.imageLength, failure.expected));
  } else if (failure.state >= ProtocolState::AwaitVersion1) {
    append(std::snprintf(
        piece, sizeof piece, " (%d of 4 bytes came)",
        static_cast<int>(failure.state) - static_cast<int>(ProtocolState::AwaitVersion1)));
  }
  if (failure.cause == FailureCause::WrongAnswer || failure.cause == FailureCause::ExtraByte) {
    append(std::snprintf(piece, sizeof piece, ": got 0x%02X", failure.received));
  }
  return text;
}

}  // namespace vannor
