#include "tools/radio_session.h"

namespace vannor::sim {

RadioSession::RadioSession() : image_(new std::uint8_t[RECORD_CAPACITY]) {}

RadioSession::Next RadioSession::OnByte(std::uint8_t byte, Clock::time_point arrival,
                                        Reply& reply) {
  reply.length = 0;
  ++record_.bytesReceived;
  // An image of unknown length is over once the line has been quiet for the idle gap; this
  // byte then starts something new.
  if (stage_ == Stage::Receiving && active_.expectedLength == 0 &&
      arrival - lastArrival_ >= std::chrono::milliseconds(active_.idleGapMs)) {
    EndExchange(false);
  }
  lastArrival_ = arrival;

  const Next next = Dispatch(byte, reply);
  record_.bytesSent += reply.length;
  return next;
}

RadioSession::Next RadioSession::Dispatch(std::uint8_t byte, Reply& reply) {
  switch (stage_) {
    case Stage::Idle:
      OnIdleByte(byte, reply);
      return Next::Continue;
    case Stage::AwaitMask:
      record_.mask = byte;
      AnswerAck(active_.firstAck, reply);
      if (active_.firstAck.IsFault()) {
        EndExchange(true);
      } else {
        stage_ = Stage::AwaitEnq;
      }
      return Next::Continue;
    case Stage::AwaitEnq:
      if (byte != RADIO_ENQ) {
        ++record_.protocolErrors;
        EndExchange(false);
        return Next::Continue;
      }
      AnswerAck(active_.secondAck, reply);
      if (active_.secondAck.IsFault()) {
        EndExchange(true);
      } else {
        stage_ = Stage::Receiving;
      }
      return Next::Continue;
    case Stage::Receiving:
      return OnImageByte(byte, reply);
  }
  return Next::Continue;
}

void RadioSession::OnIdleByte(std::uint8_t byte, Reply& reply) {
  if (byte == RADIO_VERSION_COMMAND) {
    active_ = pending_;
    ++record_.versionRequests;
    const std::uint8_t count = active_.versionReplyLength < 4 ? active_.versionReplyLength : 4;
    for (std::uint8_t i = 0; i < count; ++i) reply.bytes[reply.length++] = active_.version[i];
    record_.faultPlayed = count < 4;
  } else if (byte == RADIO_WRITE_COMMAND) {
    active_ = pending_;
    ++record_.writeRequests;
    record_.mask = 0;
    record_.imageLength = 0;
    record_.imageOver = false;
    record_.faultPlayed = false;
    stage_ = Stage::AwaitMask;
  } else {
    ++record_.strayBytes;
  }
}

void RadioSession::AnswerAck(const AckReply& ack, Reply& reply) {
  const std::uint8_t noise =
      ack.garbageLength < sizeof ack.garbage ? ack.garbageLength : sizeof ack.garbage;
  for (std::uint8_t i = 0; i < noise; ++i) reply.bytes[reply.length++] = ack.garbage[i];
  if (ack.reply != NO_REPLY) reply.bytes[reply.length++] = static_cast<std::uint8_t>(ack.reply);
}

RadioSession::Next RadioSession::OnImageByte(std::uint8_t byte, Reply& reply) {
  const std::uint32_t index = record_.imageLength++;
  if (index < RECORD_CAPACITY) image_[index] = byte;

  if (index == active_.hangUpAt) {
    EndExchange(true);
    return Next::HangUp;
  }
  if (index >= active_.silentFrom) {
    EndExchange(true);
    return Next::Continue;
  }
  if (index == active_.wrongEchoAt) {
    reply.bytes[reply.length++] = static_cast<std::uint8_t>(~byte);
    EndExchange(true);
    return Next::Continue;
  }
  // A faulty echo that a careless tool could take for a good one: it does not end the exchange.
  const std::uint8_t echo = index >= active_.echoFfFrom ? 0xFF : byte;
  reply.bytes[reply.length++] = echo;
  if (index >= active_.echoTwiceFrom) reply.bytes[reply.length++] = echo;
  if (active_.expectedLength != 0 && record_.imageLength >= active_.expectedLength) {
    if (active_.afterLastEcho != NO_REPLY) {
      reply.bytes[reply.length++] = static_cast<std::uint8_t>(active_.afterLastEcho);
    }
    EndExchange(active_.afterLastEcho != NO_REPLY);
  }
  return Next::Continue;
}

bool RadioSession::IdleFlood(std::uint8_t& byte) const {
  if (stage_ != Stage::Idle || pending_.idleFlood == NO_REPLY) return false;
  byte = static_cast<std::uint8_t>(pending_.idleFlood);
  return true;
}

void RadioSession::EndExchange(bool fault) {
  if (stage_ == Stage::AwaitMask || stage_ == Stage::AwaitEnq || stage_ == Stage::Receiving) {
    record_.imageOver = true;
  }
  record_.faultPlayed = record_.faultPlayed || fault;
  stage_ = Stage::Idle;
}

bool RadioSession::ImageOver(Clock::time_point now) const {
  if (record_.imageOver) return true;
  return now >= IdleDeadline();
}

Clock::time_point RadioSession::IdleDeadline() const {
  if (stage_ != Stage::Receiving || active_.expectedLength != 0) return Clock::time_point::max();
  return lastArrival_ + std::chrono::milliseconds(active_.idleGapMs);
}

}  // namespace vannor::sim
