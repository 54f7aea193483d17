#include "protocol/protocol_engine.h"

#include <string>

#include "image/image_loader.h"
#include "protocol/messages.h"
#include "protocol/number_texts.h"

namespace vannor {

namespace {

std::uint8_t Percentage(std::uint32_t confirmed, std::uint32_t length) {
  return static_cast<std::uint8_t>((static_cast<std::uint64_t>(confirmed) * 100u) / length);
}

}  // namespace

void ProtocolEngine::ShowProgress() {
  const std::uint32_t length = linkState.imageLength;
  const std::uint8_t percent = Percentage(linkState.sendIndex, length);
  // The bar and the label change only every 1% of a long image; the first echo always sets
  // them, because they still show whatever the previous Update left.
  if (linkState.sendIndex != 1 && percent == Percentage(linkState.sendIndex - 1, length)) return;
  if (observer_ != nullptr) observer_->OnProgress(linkState.sendIndex, length);
  host_.SetProgress(percent);
  host_.SetLabelText(Label::Percent, NumberTexts[percent]);
}

void ProtocolEngine::ShowVersion(Label label, std::uint8_t major, std::uint8_t minor) {
  const VersionText version = FormatVersion(major, minor);
  host_.SetLabelText(label, std::string_view(version.text, version.length));
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
      if (observer_ != nullptr) observer_->OnAcknowledged(ls.protocolState);
      SendByte(ENQ);
      return true;
    case ProtocolState::AwaitStartAck:
      if (ls.rxByte != ACK) break;
      ls.protocolState = ProtocolState::Sending;
      ls.sendIndex = 0;
      if (observer_ != nullptr) observer_->OnAcknowledged(ls.protocolState);
      SendByte(ls.imageBuffer[0]);
      return true;
    case ProtocolState::Sending:
      if (ls.rxByte != ls.imageBuffer[ls.sendIndex]) break;
      ++ls.sendIndex;
      ShowProgress();
      if (ls.sendIndex == ls.imageLength) {
        host_.StopResponseTimer();
        ls.protocolState = ProtocolState::Idle;
        if (observer_ != nullptr) observer_->OnCompleted();
        host_.ShowMessage(MSG_COMPLETION);
      } else {
        SendByte(ls.imageBuffer[ls.sendIndex]);
      }
      return true;
    case ProtocolState::AwaitVersion1:
      ls.versionBytes[4] = ls.rxByte;
      ls.protocolState = ProtocolState::AwaitVersion2;
      RestartResponseTimer();
      return true;
    case ProtocolState::AwaitVersion2:
      ls.versionBytes[5] = ls.rxByte;
      ls.protocolState = ProtocolState::AwaitVersion3;
      RestartResponseTimer();
      return true;
    case ProtocolState::AwaitVersion3:
      ls.versionBytes[0] = ls.rxByte;
      ls.protocolState = ProtocolState::AwaitVersion4;
      RestartResponseTimer();
      return true;
    case ProtocolState::AwaitVersion4:
      ls.versionBytes[1] = ls.rxByte;
      ls.protocolState = ProtocolState::Idle;
      host_.StopResponseTimer();
      if (observer_ != nullptr) observer_->OnCompleted();
      ShowVersion(Label::VersionDsp1, ls.versionBytes[4], ls.versionBytes[5]);
      ShowVersion(Label::VersionDsp2, ls.versionBytes[0], ls.versionBytes[1]);
      return true;
    case ProtocolState::Idle:
    default:
      return true;  // nothing is awaited: the byte is ignored
  }
  ObserveFailure(false,
                 ls.protocolState == ProtocolState::Sending ? ls.imageBuffer[ls.sendIndex] : ACK);
  ReportCommError();
  return false;
}

void ProtocolEngine::ObserveFailure(bool timedOut, std::uint8_t expected) {
  if (observer_ == nullptr) return;
  observer_->OnFailed(ExchangeFailure{.state = linkState.protocolState,
                                      .timedOut = timedOut,
                                      .received = linkState.rxByte,
                                      .expected = expected,
                                      .byteIndex = linkState.sendIndex,
                                      .imageLength = linkState.imageLength});
}

void ProtocolEngine::SendByte(std::uint8_t b) {
  port_.Write(&b, 1);
  RestartResponseTimer();
}

void ProtocolEngine::RestartResponseTimer() {
  host_.StopResponseTimer();
  host_.StartResponseTimer(RESPONSE_TIMEOUT_MS);
}

void ProtocolEngine::ReportCommError() {
  host_.StopResponseTimer();
  linkState.protocolState = ProtocolState::Idle;
  host_.ShowMessage(MSG_COMMUNICATION_ERROR);
}

std::uint8_t ProtocolEngine::BuildSelectionMask() {
  std::uint8_t mask = 0;
  if (host_.IsChecked(Box::WriteDsp1)) mask += 1;
  if (host_.IsChecked(Box::Tavix3Dsp1)) mask += 2;
  if (host_.IsChecked(Box::WriteDsp2)) mask += 4;
  if (host_.IsChecked(Box::Tavix3Dsp2)) mask += 8;
  return mask;
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

bool ProtocolEngine::ChooseAndLoadImage() {
  std::string path;
  if (!host_.ChooseImageFile(path)) return false;
  if (FileExtension(path) != "out") {
    host_.ShowMessage(MSG_FILE_ERROR);
    return false;
  }
  const LoadResult loaded = LoadImage(path, linkState.imageBuffer, IMAGE_CAPACITY);
  switch (loaded.outcome) {
    case LoadOutcome::Loaded:
      linkState.imageLength = loaded.length;
      return true;
    case LoadOutcome::SizeError:
      host_.ShowMessage(MSG_FILE_SIZE_ERROR);
      break;
    case LoadOutcome::OpenFailed:
    case LoadOutcome::ReadFailed:
      host_.ShowMessage(MSG_FILE_OPEN_ERROR);
      break;
  }
  // Whatever part of the file reached the buffer, none of it may be sent.
  linkState.imageLength = 0;
  return false;
}

void ProtocolEngine::OnUpdateClicked() {
  if (linkState.protocolState != ProtocolState::Idle) return;
  if (!host_.IsChecked(Box::WriteDsp1) && !host_.IsChecked(Box::WriteDsp2)) {
    host_.ShowMessage(MSG_DSP_SELECT_ERROR);
    return;
  }
  // The whole image is read and checked before the request goes out: once the radio has
  // answered it, it waits for the enquiry, and a file that fails to load would leave it there.
  if (!ChooseAndLoadImage()) return;

  const std::uint8_t request[2] = {WRITE_COMMAND, BuildSelectionMask()};
  if (observer_ != nullptr) observer_->OnRequest(request, sizeof request);
  port_.Write(request, sizeof request);
  host_.StartResponseTimer(RESPONSE_TIMEOUT_MS);
  linkState.protocolState = ProtocolState::AwaitCommandAck;
  linkState.commandIssued = 1;
  linkState.sendIndex = 0;  // nothing of the new image is confirmed, whatever the last one reached
}

void ProtocolEngine::OnVerReadClicked() {
  if (linkState.commandIssued != 0) {
    host_.ShowMessage(MSG_ONLY_ONCE);
    return;
  }
  const std::uint8_t request = VERSION_COMMAND;
  if (observer_ != nullptr) observer_->OnRequest(&request, 1);
  port_.Write(&request, 1);
  host_.StartResponseTimer(RESPONSE_TIMEOUT_MS);
  linkState.protocolState = ProtocolState::AwaitVersion1;
  linkState.commandIssued = 1;
}

void ProtocolEngine::OnCommNotify() {
  if (!port_.PortUsable()) return;
  // One count covers the bytes already queued; any that arrive later raise a notification of
  // their own, so one query per notification is enough.
  std::size_t waiting = port_.PendingCount();
  bool exchangeGoesOn = true;
  while (waiting > 0) {
    std::uint8_t chunk[RX_CHUNK];
    const std::size_t asked = waiting < RX_CHUNK ? waiting : RX_CHUNK;
    const std::size_t delivered = port_.Read(chunk, asked);
    if (delivered == 0 || delivered > asked) return;
    waiting -= delivered;
    for (std::size_t i = 0; i < delivered && exchangeGoesOn; ++i) {
      exchangeGoesOn = Dispatch(chunk[i]);
    }
    // After a failure the rest of what was queued belongs to the dead exchange: read it away
    // while nothing is awaited, but never into an exchange started meanwhile.
    if (!exchangeGoesOn && linkState.protocolState != ProtocolState::Idle) return;
  }
}

void ProtocolEngine::OnTimer() {
  // An expiry queued just before the timer was stopped can still arrive after the exchange has
  // ended; reporting it would follow " Completion !!! " with a false error.
  if (linkState.protocolState == ProtocolState::Idle) return;
  ObserveFailure(true, linkState.protocolState == ProtocolState::Sending
                           ? linkState.imageBuffer[linkState.sendIndex]
                           : ACK);
  ReportCommError();
}

}  // namespace vannor
