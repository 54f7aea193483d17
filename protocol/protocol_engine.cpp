#include "protocol/protocol_engine.h"

#include <algorithm>
#include <cstring>

#include "protocol/number_texts.h"
#include "protocol/update_request.h"

namespace vannor {

namespace {

ExchangeOutcome OutcomeOf(Outcome kind) {
  ExchangeOutcome outcome;
  outcome.kind = kind;
  return outcome;
}

}  // namespace

void ProtocolEngine::ShowProgress() {
  const std::uint32_t length = linkState.imageLength;
  const std::uint8_t percent = PercentOf(linkState.sendIndex, length);
  // The bar and the label change only every 1% of a long image; the first echo always sets
  // them, because they still show whatever the previous Update left.
  if (linkState.sendIndex != 1 && percent == PercentOf(linkState.sendIndex - 1, length)) return;
  for (ExchangeObserver* observer : observers_) {
    if (observer != nullptr) observer->OnProgress(linkState.sendIndex, length);
  }
}

bool ProtocolEngine::AddObserver(ExchangeObserver* observer) {
  for (ExchangeObserver*& slot : observers_) {
    if (slot == nullptr || slot == observer) {
      slot = observer;
      return true;
    }
  }
  return false;
}

void ProtocolEngine::RemoveObserver(ExchangeObserver* observer) {
  for (ExchangeObserver*& slot : observers_) {
    if (slot == observer) slot = nullptr;
  }
}

bool ProtocolEngine::LeavesDspUnfinished() const {
  if (AwaitingQuietLine()) return false;
  switch (linkState.protocolState) {
    case ProtocolState::AwaitCommandAck:
    case ProtocolState::AwaitStartAck:
    case ProtocolState::Sending:
      return true;
    default:
      return false;
  }
}

std::uint8_t ProtocolEngine::Awaited() const {
  return linkState.protocolState == ProtocolState::Sending ? linkState.image[linkState.sendIndex]
                                                           : ACK;
}

// Acts on one received byte. False when the exchange has just failed: the rest of the chunk is
// not for this exchange any more.
bool ProtocolEngine::Dispatch(std::uint8_t byte) {
  LinkState& ls = linkState;
  ls.rxByte = byte;
  switch (ls.protocolState) {
    case ProtocolState::AwaitCommandAck:
      if (ls.rxByte != ACK) break;
      ls.protocolState = ProtocolState::AwaitStartAck;
      for (ExchangeObserver* observer : observers_) {
        if (observer != nullptr) observer->OnAcknowledged(ls.protocolState);
      }
      return SendByte(ENQ);
    case ProtocolState::AwaitStartAck:
      if (ls.rxByte != ACK) break;
      ls.protocolState = ProtocolState::Sending;
      ls.sendIndex = 0;
      for (ExchangeObserver* observer : observers_) {
        if (observer != nullptr) observer->OnAcknowledged(ls.protocolState);
      }
      return SendByte(ls.image[0]);
    case ProtocolState::Sending:
      // A byte that had already come when the awaited image byte was written cannot be its
      // echo, whatever its value: a radio that echoes twice would otherwise pass for a good one.
      if (earlyByte_) {
        ReportCommError(FailureCause::ExtraByte, byte);
        return false;
      }
      if (ls.rxByte != ls.image[ls.sendIndex]) break;
      // The echo of the last byte completes: every byte of the image is confirmed, and what
      // may follow it belongs to no exchange (the next request's flush and quiet wait take it).
      ++ls.sendIndex;
      ShowProgress();
      if (ls.sendIndex == ls.imageLength) {
        host_.StopResponseTimer();
        ls.protocolState = ProtocolState::Idle;
        ExchangeOutcome completed = OutcomeOf(Outcome::Completed);
        completed.length = ls.imageLength;
        End(completed);
        return true;
      }
      return SendByte(ls.image[ls.sendIndex]);
    case ProtocolState::AwaitVersion1:
    case ProtocolState::AwaitVersion2:
    case ProtocolState::AwaitVersion3:
      ls.versionBytes[static_cast<int>(ls.protocolState) -
                      static_cast<int>(ProtocolState::AwaitVersion1)] = ls.rxByte;
      ls.protocolState = static_cast<ProtocolState>(static_cast<int>(ls.protocolState) + 1);
      RestartResponseTimer();
      return true;
    case ProtocolState::AwaitVersion4: {
      ls.versionBytes[3] = ls.rxByte;
      ls.protocolState = ProtocolState::Idle;
      host_.StopResponseTimer();
      ExchangeOutcome outcome = OutcomeOf(Outcome::VersionsRead);
      std::memcpy(outcome.versions, ls.versionBytes, sizeof outcome.versions);
      End(outcome);
      return true;
    }
    case ProtocolState::Idle:
    default:
      return true;  // nothing is awaited: the byte is ignored
  }
  ReportCommError(FailureCause::WrongAnswer, byte);
  return false;
}

bool ProtocolEngine::SendByte(std::uint8_t b) {
  if (!port_.Write(&b, 1)) {
    ReportCommError(FailureCause::PortFailed, 0);
    return false;
  }
  RestartResponseTimer();
  return true;
}

void ProtocolEngine::RestartResponseTimer() {
  host_.RestartResponseTimer(RESPONSE_TIMEOUT_MS);
}

void ProtocolEngine::ReportCommError(FailureCause cause, std::uint8_t received) {
  const ExchangeFailure failure{.state = linkState.protocolState,
                                .cause = cause,
                                .received = received,
                                .expected = Awaited(),
                                .byteIndex = linkState.sendIndex,
                                .imageLength = linkState.imageLength};
  // A failed port is closed first, even with no exchange to end: the box that tells the failure
  // may stay open for long, and a dead port must not be waited on meanwhile.
  if (cause == FailureCause::PortFailed) port_.ClosePort();
  if (!Busy()) return;
  host_.StopResponseTimer();
  linkState.protocolState = ProtocolState::Idle;
  requestLength_ = 0;
  ExchangeOutcome outcome = OutcomeOf(Outcome::CommunicationError);
  outcome.failure = failure;
  End(outcome);
}

void ProtocolEngine::End(const ExchangeOutcome& outcome) {
  for (ExchangeObserver* observer : observers_) {
    if (observer != nullptr) observer->OnEnded(outcome);
  }
  host_.ReportOutcome(outcome);
}

VersionText FormatVersion(std::uint8_t major, std::uint8_t minor) {
  VersionText out{};
  auto append = [&out](std::uint8_t number) {
    if (number < NUMBER_TEXT_COUNT) {
      for (char c : NumberTexts[number]) out.text[out.length++] = c;
      return;
    }
    // The radio may report any byte; above the table it is shown in plain decimal.
    out.text[out.length++] = static_cast<char>('0' + number / 100);
    out.text[out.length++] = static_cast<char>('0' + number / 10 % 10);
    out.text[out.length++] = static_cast<char>('0' + number % 10);
  };
  out.text[out.length++] = 'V';
  append(major);
  out.text[out.length++] = '.';
  append(minor);
  out.text[out.length] = '\0';
  return out;
}

void ProtocolEngine::OnUpdateClicked(std::uint8_t mask, const std::uint8_t* image,
                                     std::uint32_t length) {
  if (Busy()) return;
  if (!DspChosen(mask)) {
    End(DspNotSelectedOutcome());
    return;
  }
  // The whole image is here before the request goes out: once the radio has answered it, it
  // waits for the enquiry, and an image that cannot be sent would leave it there.
  if (!ImageLengthFits(length)) {
    End(ImageRefusedOutcome(ImageRefusal::Size));
    return;
  }
  linkState.image = image;
  linkState.imageLength = length;
  SendWriteRequest(mask);
}

void ProtocolEngine::SendWriteRequest(std::uint8_t mask) {
  const std::uint8_t request[2] = {WRITE_COMMAND, mask};
  linkState.sendIndex = 0;  // nothing of the new image is confirmed, whatever the last one reached
  AwaitQuietLine(ProtocolState::AwaitCommandAck, request, sizeof request);
}

void ProtocolEngine::OnVerReadClicked() {
  if (linkState.commandIssued != 0) {
    End(OutcomeOf(Outcome::OnlyOnce));
    return;
  }
  const std::uint8_t request = VERSION_COMMAND;
  AwaitQuietLine(ProtocolState::AwaitVersion1, &request, 1);
}

void ProtocolEngine::AwaitQuietLine(ProtocolState state, const std::uint8_t* request,
                                    std::size_t length) {
  // Whatever waits on the line came before the request, so it cannot be the answer; nor can
  // what is still coming, which the quiet periods wait out.
  port_.DiscardInput();
  linkState.protocolState = state;
  std::memcpy(request_, request, length);
  requestLength_ = length;
  quietPeriodMs_ = QUIET_TIME_MS + std::max(port_.HoldBackMs(), 0);
  quietWaitStart_ = host_.Now();
  heardUnasked_ = false;
  lastHeard_ = quietWaitStart_;
  host_.StartResponseTimer(quietPeriodMs_);
}

void ProtocolEngine::OnQuietPeriodEnd() {
  DropUnasked();
  if (port_.PortFailed()) {
    ReportCommError(FailureCause::PortFailed, 0);
    return;
  }
  const EngineClock::time_point now = host_.Now();
  const auto period = std::chrono::milliseconds(quietPeriodMs_);
  if (now - lastHeard_ < period) {
    if (heardUnasked_ && now - quietWaitStart_ >= std::chrono::milliseconds(UNASKED_LIMIT_MS)) {
      ReportCommError(FailureCause::UnaskedBytes, lastUnasked_);
      return;
    }
    // The rest of the period since the last byte, rounded up: a timer that came early, or a
    // byte heard in the period, waits on.
    const auto rest = std::chrono::ceil<std::chrono::milliseconds>(lastHeard_ + period - now);
    host_.StartResponseTimer(static_cast<int>(std::max<long long>(rest.count(), 1)));
    return;
  }
  const std::size_t length = requestLength_;
  requestLength_ = 0;
  for (ExchangeObserver* observer : observers_) {
    if (observer != nullptr) observer->OnRequest(request_, length);
  }
  // With no port open the request is lost as on a cut cable and the exchange ends at its
  // time-out; only a request that went out on an open port can have reached a radio.
  if (port_.PortUsable()) {
    if (!port_.Write(request_, length)) {
      ReportCommError(FailureCause::PortFailed, 0);
      return;
    }
    linkState.commandIssued = 1;
  }
  host_.StartResponseTimer(RESPONSE_TIMEOUT_MS);
}

void ProtocolEngine::DropUnasked() {
  if (!port_.PortUsable()) return;
  for (std::size_t waiting = port_.PendingCount(); waiting > 0;) {
    std::uint8_t chunk[RX_CHUNK];
    const std::size_t asked = waiting < RX_CHUNK ? waiting : RX_CHUNK;
    const std::size_t delivered = port_.Read(chunk, asked);
    if (delivered == 0 || delivered > asked) return;
    waiting -= delivered;
    // The byte came by now; a read at an earlier event does not move the mark back.
    heardUnasked_ = true;
    lastHeard_ = std::max(lastHeard_, host_.Now());
    lastUnasked_ = chunk[delivered - 1];
  }
}

void ProtocolEngine::EndExchange(FailureCause cause) {
  if (Busy()) ReportCommError(cause, 0);
}

void ProtocolEngine::ReadWaiting() {
  if (AwaitingQuietLine()) {
    DropUnasked();
    return;
  }
  if (!port_.PortUsable()) return;
  // One count covers the bytes already queued; any that arrive later raise a notification of
  // their own, so one query per notification is enough.
  std::size_t waiting = port_.PendingCount();
  arrivedBeforeWrite_ = 0;
  earlyByte_ = false;
  bool exchangeGoesOn = true;
  while (waiting > 0) {
    std::uint8_t chunk[RX_CHUNK];
    const std::size_t asked = waiting < RX_CHUNK ? waiting : RX_CHUNK;
    const std::size_t delivered = port_.Read(chunk, asked);
    if (delivered == 0 || delivered > asked) return;
    waiting -= delivered;
    for (std::size_t i = 0; i < delivered && exchangeGoesOn; ++i) {
      const std::uint32_t sentBefore = linkState.sendIndex;
      const ProtocolState stateBefore = linkState.protocolState;
      earlyByte_ = arrivedBeforeWrite_ > 0;
      if (earlyByte_) --arrivedBeforeWrite_;
      exchangeGoesOn = Dispatch(chunk[i]);
      // Every byte still to come in this pass had arrived before a write this byte caused.
      if (exchangeGoesOn && linkState.protocolState == ProtocolState::Sending &&
          (linkState.sendIndex != sentBefore || stateBefore != ProtocolState::Sending)) {
        arrivedBeforeWrite_ = (delivered - i - 1) + waiting;
      }
    }
    // After a failure the rest of what was queued belongs to the dead exchange: read it away
    // while nothing is awaited, but never into an exchange started meanwhile.
    if (!exchangeGoesOn && Busy()) return;
  }
}

void ProtocolEngine::OnCommNotify() {
  ReadWaiting();
  if (port_.PortFailed()) ReportCommError(FailureCause::PortFailed, 0);
}

bool ProtocolEngine::OnTimer() {
  // An expiry queued just before the timer was stopped can still arrive after the exchange has
  // ended; reporting it would follow " Completion !!! " with a false error.
  if (!Busy()) return false;
  if (AwaitingQuietLine()) {
    OnQuietPeriodEnd();
    return true;
  }
  const ProtocolState stateBefore = linkState.protocolState;
  const std::uint32_t sentBefore = linkState.sendIndex;
  ReadWaiting();
  if (port_.PortFailed()) {
    ReportCommError(FailureCause::PortFailed, 0);
    return false;
  }
  // What had come moved the exchange on (and restarted the timer), or ended it.
  if (!Busy() || linkState.protocolState != stateBefore || linkState.sendIndex != sentBefore) {
    return false;
  }
  ReportCommError(FailureCause::TimedOut, 0);
  return true;
}

}  // namespace vannor
