// The protocol engine: the image write and the version read with the radio, driven by one
// link's events (requests, arrivals, time-outs) on that link's event thread. It owns the link's
// exchange state and reaches the port and its host only through the two interfaces it is
// given; progress goes to its observers, and how an exchange ended goes to the host as a value.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/engine_host.h"
#include "protocol/exchange_observer.h"
#include "protocol/link_state.h"
#include "serial/port_io.h"

namespace vannor {

inline constexpr std::uint8_t WRITE_COMMAND = 0x57;
inline constexpr std::uint8_t VERSION_COMMAND = 0x56;
inline constexpr std::uint8_t ACK = 0x06;
inline constexpr std::uint8_t ENQ = 0x05;
inline constexpr std::size_t RX_CHUNK = 100;
// A request goes out only on a quiet line: after the flush, once no byte has come for a whole
// period of QUIET_TIME_MS (some fifteen characters at 38400 baud, past the four a UART's FIFO may
// hold back), longer by the time the port may hold bytes back where it tells one (a USB
// adapter's latency timer), so that a radio talking behind it cannot seem quiet between its
// bursts. A radio still talking after UNASKED_LIMIT_MS ends the exchange unsent. Both are
// measured by the clock, however coarse or early the host's timer.
inline constexpr int QUIET_TIME_MS = 4;
inline constexpr int UNASKED_LIMIT_MS = 1000;

// "V" + major + "." + minor, each with at least two digits, into a fixed buffer.
struct VersionText {
  char text[sizeof("V255.255")];
  std::size_t length;
};
VersionText FormatVersion(std::uint8_t major, std::uint8_t minor);

class ProtocolEngine {
 public:
  static constexpr std::size_t MAX_OBSERVERS = 4;

  ProtocolEngine(PortIo& port, EngineHost& host) : port_(port), host_(host) {}
  ProtocolEngine(const ProtocolEngine&) = delete;
  ProtocolEngine& operator=(const ProtocolEngine&) = delete;

  // Update: the write request for the DSPs of `mask` (SelectionMask) with the image, read in
  // place: the caller keeps it unchanged until the exchange ends. Ignored while an exchange runs;
  // ends at once, with nothing sent, when the mask names no DSP to write or the image is empty or
  // too large.
  void OnUpdateClicked(std::uint8_t mask, const std::uint8_t* image, std::uint32_t length);
  void OnVerReadClicked();
  // Bytes have arrived (or the port failed): reads every byte waiting at the time of the call
  // and runs the state machine over them.
  void OnCommNotify();
  // The response timer expired. Bytes that came meanwhile count first: a process that was
  // stopped wakes to both, and the answer must win over the expiry. This is the one place that
  // reads the port before a deadline falls. False when the expiry did not count: nothing was
  // awaited, or what had come answered first.
  bool OnTimer();

  // Ends the exchange in progress, if any, as a communication error for `cause` (the user
  // changed the port under it): told like any other failure, and nothing more is awaited.
  void EndExchange(FailureCause cause);

  // Follows every exchange from now on. False when MAX_OBSERVERS already follow.
  bool AddObserver(ExchangeObserver* observer);
  void RemoveObserver(ExchangeObserver* observer);

  bool Busy() const { return linkState.protocolState != ProtocolState::Idle; }
  // Whether a request waits for the line to go quiet: the timer then runs a quiet period.
  bool AwaitingQuietLine() const { return requestLength_ != 0; }
  // Whether a write request has gone out and the image is not complete: the request, its
  // enquiry and the image bytes. An exchange that ends now leaves the radio's DSP neither its old
  // program nor the new one. A request still waiting for a quiet line has sent nothing.
  bool LeavesDspUnfinished() const;
  const LinkState& State() const { return linkState; }

 private:
  void SendWriteRequest(std::uint8_t mask);
  // Flushes the line and lets the request wait for it to go quiet, as the exchange in `state`.
  void AwaitQuietLine(ProtocolState state, const std::uint8_t* request, std::size_t length);
  // A quiet period ended: the request goes out if nothing came in it.
  void OnQuietPeriodEnd();
  // Reads and drops whatever waits while the request waits for a quiet line.
  void DropUnasked();
  // Reads whatever waits and dispatches it.
  void ReadWaiting();
  bool Dispatch(std::uint8_t byte);
  bool SendByte(std::uint8_t b);
  void RestartResponseTimer();
  // Ends the exchange in progress with " Communication Error !!! " for `cause`; a port that
  // failed (PortFailed) is closed as well.
  void ReportCommError(FailureCause cause, std::uint8_t received);
  void End(const ExchangeOutcome& outcome);
  std::uint8_t Awaited() const;
  void ShowProgress();

  PortIo& port_;
  EngineHost& host_;
  ExchangeObserver* observers_[MAX_OBSERVERS] = {};
  LinkState linkState;
  // Bytes of the current pass that had arrived before the engine's latest write: none of them
  // can answer it.
  std::size_t arrivedBeforeWrite_ = 0;
  // The byte being dispatched is one of those.
  bool earlyByte_ = false;
  // The request waiting for a quiet line (length 0: none), the length of a quiet period, when
  // the wait began, whether a byte came in it and when the last did (the start while none did),
  // and the latest byte unasked.
  std::uint8_t request_[2] = {};
  std::size_t requestLength_ = 0;
  int quietPeriodMs_ = QUIET_TIME_MS;
  EngineClock::time_point quietWaitStart_{};
  bool heardUnasked_ = false;
  EngineClock::time_point lastHeard_{};
  std::uint8_t lastUnasked_ = 0;
};

}  // namespace vannor
