// How an exchange with the radio ended, as a value: each host maps it to what it shows (the
// window to its message boxes, the command line to its lines and exit codes).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "image/update_image.h"
#include "protocol/link_state.h"

namespace vannor {

class Line;

enum class Outcome : std::uint8_t {
  Completed,           // the whole image confirmed
  VersionsRead,        // the version reply complete
  CommunicationError,  // see ExchangeFailure
  DspNotSelected,      // Update with neither Write box checked; nothing sent
  ImageRefused,        // see ImageRefusal; nothing sent
  OnlyOnce,            // Ver Read after a command went out; nothing sent
};

enum class FailureCause : std::uint8_t {
  WrongAnswer,   // a byte came that was not the one awaited
  ExtraByte,     // a byte came before the image byte it would echo had been written
  TimedOut,      // nothing came within the response time-out
  PortFailed,    // the port went away or refused a write
  PortChanged,   // the user picked a port while the exchange ran
  UnaskedBytes,  // the radio did not go quiet before the request: nothing was sent
};

// Why an exchange failed: what was awaited, in which state, at which image byte.
struct ExchangeFailure {
  ProtocolState state = ProtocolState::Idle;  // the state the engine was in
  FailureCause cause = FailureCause::TimedOut;
  std::uint8_t received = 0;      // the byte that came instead (WrongAnswer, ExtraByte), or
                                  // the last one unasked (UnaskedBytes)
  std::uint8_t expected = 0;      // the byte that was awaited (ACK, or the echo)
  std::uint32_t byteIndex = 0;    // image byte whose echo was awaited (Sending only)
  std::uint32_t imageLength = 0;  // bytes in the image
};

struct ExchangeOutcome {
  Outcome kind = Outcome::Completed;
  ExchangeFailure failure;                      // CommunicationError
  ImageRefusal refusal = ImageRefusal::NotOut;  // ImageRefused
  // VersionsRead: DSP1 major, DSP1 minor, DSP2 major, DSP2 minor, as the radio sent them.
  std::uint8_t versions[4] = {};
  std::uint32_t length = 0;  // Completed: bytes written
};

// The outcomes of a request that sent nothing.
inline ExchangeOutcome DspNotSelectedOutcome() {
  ExchangeOutcome outcome;
  outcome.kind = Outcome::DspNotSelected;
  return outcome;
}
inline ExchangeOutcome ImageRefusedOutcome(ImageRefusal refusal) {
  ExchangeOutcome outcome;
  outcome.kind = Outcome::ImageRefused;
  outcome.refusal = refusal;
  return outcome;
}

// The message box text for an outcome, exactly as the window shows it; empty for none (a
// version read).
std::string_view MessageFor(const ExchangeOutcome& outcome);

// What an outcome says, once for every program: the window's box shows `message`; a terminal's
// line, the history's record and the technician's lines on standard error say `title` and
// `cause`.
struct OutcomeWords {
  std::string_view message;  // MessageFor
  std::string_view title;    // the message without its blanks and marks: "File Size Error"
  std::string cause;         // why it failed, one line; empty when it went well, and for a
                             // refused image, whose own problem says it
};
// `line` is the link's: it tells why a port failed.
OutcomeWords WordsFor(const ExchangeOutcome& outcome, const Line& line);

}  // namespace vannor
