// The radio's side of the wire protocol, byte by byte: what it answers to each byte the tool
// sends, which faults it plays, and what it has received. No I/O and no clock of its own: the
// simulator feeds it bytes with their arrival times and sends what it answers.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace vannor::sim {

// The radio's own copy of the wire constants. It does not borrow the tool's: a wrong value on
// the tool's side must show as a failed exchange, not be mirrored by the far end.
inline constexpr std::uint8_t RADIO_VERSION_COMMAND = 0x56;
inline constexpr std::uint8_t RADIO_WRITE_COMMAND = 0x57;
inline constexpr std::uint8_t RADIO_ACK = 0x06;
inline constexpr std::uint8_t RADIO_ENQ = 0x05;
inline constexpr std::uint8_t RADIO_NAK = 0x15;

// An image byte index that never comes: the fault is off.
inline constexpr std::uint32_t NEVER = 0xFFFFFFFFu;
// Where an ACK is due, the radio sends nothing.
inline constexpr std::int16_t NO_REPLY = -1;
// Room for the longest image the tool can send and some more, so that an overlong transfer
// shows in the record instead of being cut to size.
inline constexpr std::uint32_t RECORD_CAPACITY = 262144;

using Clock = std::chrono::steady_clock;

struct AckReply {
  // What the radio sends where an ACK is due: RADIO_ACK, any other byte (RADIO_NAK is the usual
  // refusal), or NO_REPLY.
  std::int16_t reply = RADIO_ACK;
  // Line noise sent just before the reply.
  std::uint8_t garbage[8] = {};
  std::uint8_t garbageLength = 0;

  bool IsFault() const { return reply != RADIO_ACK || garbageLength != 0; }
};

// How the radio behaves. Every fault ends the exchange on the radio's side too: after it the
// radio waits for a new command, so that a following exchange works again, and it counts any
// further byte the tool sends as a stray one.
struct RadioConfig {
  // The reply to 0x56: DSP1 major, DSP1 minor, DSP2 major, DSP2 minor.
  std::uint8_t version[4] = {1, 3, 2, 0};
  // How many of the four version bytes are sent; fewer leaves the tool waiting.
  std::uint8_t versionReplyLength = 4;

  // The answers to 0x57 + mask and to 0x05.
  AckReply firstAck;
  AckReply secondAck;

  // Faults at image byte N, counted from 0.
  std::uint32_t wrongEchoAt = NEVER;    // the echo of byte N differs from byte N
  std::uint32_t silentFrom = NEVER;     // byte N gets no echo, and nothing after it is answered
  std::uint32_t hangUpAt = NEVER;       // byte N arrives, then the radio closes the line
  std::uint32_t echoTwiceFrom = NEVER;  // byte N and every one after it are echoed twice
  std::uint32_t echoFfFrom = NEVER;     // byte N and every one after it are answered 0xFF
  // Sent with the echo of the last image byte, right after it (needs expectedLength).
  std::int16_t afterLastEcho = NO_REPLY;
  // Sent over and over, a byte time apart, while no exchange is going on: a radio that talks
  // without being asked. Takes effect at once, not at the next command.
  std::int16_t idleFlood = NO_REPLY;
  // Sent once as the line comes up, before the tool asks anything (a radio's power-up noise).
  std::uint8_t powerUp[8] = {};
  std::uint8_t powerUpLength = 0;

  // Extra time before each byte the radio sends.
  std::uint32_t replyDelayUs = 0;
  // Every byte takes 260.4 us on the wire each way, as on a 38400-baud 8N1 line.
  bool pace38400 = false;

  // How the radio knows that the image is over: after this many bytes when it is told, else
  // when no byte has come for idleGapMs.
  std::uint32_t expectedLength = 0;
  std::uint32_t idleGapMs = 1000;
};

// One byte on a 38400-baud 8N1 line: ten bits.
inline constexpr std::chrono::nanoseconds BYTE_TIME_38400{260417};

// What the radio has seen. Counters cover the whole run; the mask and the image belong to the
// latest write request.
struct RadioRecord {
  std::uint32_t versionRequests = 0;
  std::uint32_t writeRequests = 0;
  std::uint8_t mask = 0;
  std::uint32_t imageLength = 0;     // image bytes received in the latest write request
  bool imageOver = false;            // that image has ended (length reached, idle gap, fault)
  bool faultPlayed = false;          // the latest exchange ended in a configured fault
  std::uint32_t protocolErrors = 0;  // something other than 0x05 after the first ACK
  std::uint32_t strayBytes = 0;      // bytes that came while no exchange was going on
  std::uint64_t bytesReceived = 0;
  std::uint64_t bytesSent = 0;
  bool hungUp = false;
};

// The most the radio sends for one received byte: noise plus a reply, or a version.
struct Reply {
  std::uint8_t bytes[16];
  std::uint8_t length = 0;
};

class RadioSession {
 public:
  enum class Next { Continue, HangUp };

  RadioSession();

  // Takes effect at the next command.
  void Configure(const RadioConfig& config) { pending_ = config; }
  const RadioConfig& Active() const { return active_; }

  // One byte from the tool, at its arrival time; fills `reply` with the radio's answer.
  Next OnByte(std::uint8_t byte, Clock::time_point arrival, Reply& reply);
  void NoteHangUp() { record_.hungUp = true; }
  // The byte the radio floods the line with while no exchange is going on; false when it does
  // not flood (or is in an exchange).
  bool IdleFlood(std::uint8_t& byte) const;
  void NoteFloodSent() { ++record_.bytesSent; }

  // Whether the latest image is over at `now`: an image of unknown length ends by the idle gap
  // even before the next byte shows it.
  bool ImageOver(Clock::time_point now) const;
  // When an image of unknown length will count as over if nothing more comes; the far future
  // when no such image is being received.
  Clock::time_point IdleDeadline() const;
  const RadioRecord& Record() const { return record_; }
  const std::uint8_t* Image() const { return image_.get(); }

 private:
  enum class Stage { Idle, AwaitMask, AwaitEnq, Receiving };

  Next Dispatch(std::uint8_t byte, Reply& reply);
  void OnIdleByte(std::uint8_t byte, Reply& reply);
  void AnswerAck(const AckReply& ack, Reply& reply);
  Next OnImageByte(std::uint8_t byte, Reply& reply);
  void EndExchange(bool fault);

  RadioConfig pending_;
  RadioConfig active_;
  RadioRecord record_;
  Stage stage_ = Stage::Idle;
  Clock::time_point lastArrival_{};
  std::unique_ptr<std::uint8_t[]> image_;
};

}  // namespace vannor::sim
