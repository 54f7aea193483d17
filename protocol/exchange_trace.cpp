#include "protocol/exchange_trace.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "protocol/number_texts.h"

namespace vannor {

bool ExchangeTrace::Requested() {
  const char* value = std::getenv("VANNOR_DEBUG");
  if (value == nullptr) return false;
  // The words that say "off" in any case; anything else set asks for the trace.
  for (const std::string_view off : {"", "0", "false", "off", "no"}) {
    if (std::equal(off.begin(), off.end(), value, value + std::strlen(value), [](char a, char b) {
          return a == std::tolower(static_cast<unsigned char>(b));
        })) {
      return false;
    }
  }
  return true;
}

void ExchangeTrace::OnImage(const std::string& path, std::uint32_t length,
                            const std::string& sha256) {
  std::fprintf(out_, "%s: image %s, %u %s, sha256 %s\n", prefix_.c_str(), path.c_str(), length,
               ByteUnit(length), sha256.c_str());
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
  std::fprintf(out_, "%s: %u of %u %s confirmed\n", prefix_.c_str(), confirmed, length,
               ByteUnit(length));
}

void ExchangeTrace::OnEnded(const ExchangeOutcome& outcome) {
  switch (outcome.kind) {
    case Outcome::Completed:
    case Outcome::VersionsRead:
      std::fprintf(out_, "%s: exchange complete\n", prefix_.c_str());
      break;
    case Outcome::CommunicationError:
      std::fprintf(out_, "%s: %s\n", prefix_.c_str(), DescribeFailure(outcome.failure).c_str());
      break;
    default:
      // A click that sent nothing: its message says all.
      break;
  }
}

}  // namespace vannor
