// What an exchange with the radio went through, for whoever wants to follow it: the command
// line's progress line and error report, and the VANNOR_DEBUG trace. The engine calls it only at
// the steps of an exchange and when the percentage changes, never for every byte.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/link_state.h"

namespace vannor {

// Why an exchange failed: what was awaited, in which state, at which image byte.
struct ExchangeFailure {
  ProtocolState state;        // the state the engine was in
  bool timedOut;              // nothing came within the response time-out
  std::uint8_t received;      // the byte that came instead (when not timed out)
  std::uint8_t expected;      // the byte that was awaited (ACK, or the echo)
  std::uint32_t byteIndex;    // image byte whose echo was awaited (Sending only)
  std::uint32_t imageLength;  // bytes in the image
};

class ExchangeObserver {
 public:
  // A request went out (0x57 + mask, or 0x56).
  virtual void OnRequest(const std::uint8_t* bytes, std::size_t count) = 0;
  // The radio acknowledged; the engine is now in `next`.
  virtual void OnAcknowledged(ProtocolState next) = 0;
  // The confirmed count reached a new percentage.
  virtual void OnProgress(std::uint32_t confirmed, std::uint32_t length) = 0;
  // The exchange ended well: the whole image confirmed, or the version reply complete.
  virtual void OnCompleted() = 0;
  virtual void OnFailed(const ExchangeFailure& failure) = 0;

 protected:
  ~ExchangeObserver() = default;
};

// "awaiting ACK for the request", "awaiting the echo of byte 17 of 200": what the engine
// waited for in `state`, for messages and traces.
const char* AwaitedStep(ProtocolState state);

}  // namespace vannor
