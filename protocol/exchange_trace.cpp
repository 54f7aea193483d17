#include "protocol/exchange_trace.h"

#include <cstdlib>

namespace vannor {

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
  char text[200];
  int used = std::snprintf(text, sizeof text, "%s while awaiting %s",
                           failure.timedOut ? "no answer within 5 s" : "wrong answer",
                           AwaitedStep(failure.state));
  if (failure.state == ProtocolState::Sending && used > 0) {
    used += std::snprintf(text + used, sizeof text - static_cast<std::size_t>(used),
                          " (byte %u of %u, 0x%02X)", failure.byteIndex + 1, failure.imageLength,
                          failure.expected);
  } else if (failure.state >= ProtocolState::AwaitVersion1 && used > 0) {
    used += std::snprintf(
        text + used, sizeof text - static_cast<std::size_t>(used), " (%d of 4 bytes came)",
        static_cast<int>(failure.state) - static_cast<int>(ProtocolState::AwaitVersion1));
  }
  if (!failure.timedOut && used > 0) {
    std::snprintf(text + used, sizeof text - static_cast<std::size_t>(used), ": got 0x%02X",
                  failure.received);
  }
  return text;
}

bool ExchangeTrace::Requested() {
  const char* value = std::getenv("VANNOR_DEBUG");
  return value != nullptr && value[0] != '\0' && !(value[0] == '0' && value[1] == '\0');
}

void ExchangeTrace::OnRequest(const std::uint8_t* bytes, std::size_t count) {
  lastTenth_ = 0;
  if (count == 2) {
    std::fprintf(out_, "%s: request 0x%02X mask 0x%02X\n", prefix_.c_str(), bytes[0], bytes[1]);
  } else if (count == 1) {
    std::fprintf(out_, "%s: request 0x%02X\n", prefix_.c_str(), bytes[0]);
  }
}

void ExchangeTrace::OnAcknowledged(ProtocolState next) {
  std::fprintf(out_, "%s: ACK, %s\n", prefix_.c_str(),
               next == ProtocolState::Sending ? "sending the image" : "enquiry sent");
}

void ExchangeTrace::OnProgress(std::uint32_t confirmed, std::uint32_t length) {
  const unsigned tenth = static_cast<unsigned>(static_cast<std::uint64_t>(confirmed) * 10 / length);
  if (tenth == lastTenth_) return;
  lastTenth_ = tenth;
  std::fprintf(out_, "%s: %u of %u bytes confirmed\n", prefix_.c_str(), confirmed, length);
}

void ExchangeTrace::OnCompleted() {
  std::fprintf(out_, "%s: exchange complete\n", prefix_.c_str());
}

void ExchangeTrace::OnFailed(const ExchangeFailure& failure) {
  std::fprintf(out_, "%s: %s\n", prefix_.c_str(), DescribeFailure(failure).c_str());
}

}  // namespace vannor
