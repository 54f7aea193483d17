// What an exchange with the radio went through, for whoever wants to follow it: the command
// line's progress line, the VANNOR_DEBUG trace, the benchmark's counters. The engine calls it
// only at the steps of an exchange and when the percentage changes, never for every byte.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/exchange_outcome.h"
#include "protocol/link_state.h"

namespace vannor {

class ExchangeObserver {
 public:
  // A request went out (0x57 + mask, or 0x56).
  virtual void OnRequest(const std::uint8_t* bytes, std::size_t count) = 0;
  // The radio acknowledged; the engine is now in `next`.
  virtual void OnAcknowledged(ProtocolState next) = 0;
  // The confirmed count reached a new percentage.
  virtual void OnProgress(std::uint32_t confirmed, std::uint32_t length) = 0;
  // The exchange (or a click that sent nothing) ended so.
  virtual void OnEnded(const ExchangeOutcome& outcome) = 0;

 protected:
  ~ExchangeObserver() = default;
};

// "the ACK of the write request", "the echo of an image byte": what the engine waited for in
// `state`, for messages and traces.
const char* AwaitedStep(ProtocolState state);

}  // namespace vannor
