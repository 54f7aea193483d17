#include "protocol/protocol_engine.h"

#include "image/image_loader.h"
#include "protocol/link_state.h"
#include "protocol/messages.h"
#include "protocol/number_texts.h"

namespace vannor {

namespace {

LinkState& ls = linkState;

std::uint8_t Percentage(std::uint32_t confirmed) {
  return static_cast<std::uint8_t>((confirmed * 100u) / ls.imageLength);
}

void ShowProgress(EngineHost& host) {
  const std::uint8_t percent = Percentage(ls.sendIndex);
  // The bar and the label change only every 1% of a long image; the first echo always sets
  // them, because they still show whatever the previous Update left.
  if (ls.sendIndex != 1 && percent == Percentage(ls.sendIndex - 1)) return;
  host.SetProgress(percent);
  host.SetLabelText(IDC_PERCENT, NumberTexts[percent]);
}

void ShowVersion(EngineHost& host, ControlId label, std::uint8_t major, std::uint8_t minor) {
  const VersionText version = FormatVersion(major, minor);
  host.SetLabelText(label, std::string_view(version.text, version.length));
}

// Acts on one received byte. False when the exchange has just failed: the rest of the chunk is
// not for this exchange any more.
bool Dispatch(EngineHost& host, std::uint8_t byte) {
  ls.rxByte = byte;
  switch (ls.protocolState) {
    case ProtocolState::AwaitCommandAck:
      if (ls.rxByte != ACK) break;
      ls.protocolState = ProtocolState::AwaitStartAck;
      SendByte(host, ENQ);
      return true;
    case ProtocolState::AwaitStartAck:
      if (ls.rxByte != ACK) break;
      ls.protocolState = ProtocolState::Sending;
      ls.sendIndex = 0;
      SendByte(host, ls.imageBuffer[0]);
      return true;
    case ProtocolState::Sending:
      if (ls.rxByte != ls.imageBuffer[ls.sendIndex]) break;
      ++ls.sendIndex;
      ShowProgress(host);
      if (ls.sendIndex == ls.imageLength) {
        host.StopResponseTimer();
        ls.protocolState = ProtocolState::Idle;
        host.ShowMessage(MSG_COMPLETION);
      } else {
        SendByte(host, ls.imageBuffer[ls.sendIndex]);
      }
      return true;
    case ProtocolState::AwaitVersion1:
      ls.versionBytes[4] = ls.rxByte;
      ls.protocolState = ProtocolState::AwaitVersion2;
      RestartResponseTimer(host);
      return true;
    case ProtocolState::AwaitVersion2:
      ls.versionBytes[5] = ls.rxByte;
      ls.protocolState = ProtocolState::AwaitVersion3;
      RestartResponseTimer(host);
      return true;
    case ProtocolState::AwaitVersion3:
      ls.versionBytes[0] = ls.rxByte;
      ls.protocolState = ProtocolState::AwaitVersion4;
      RestartResponseTimer(host);
      return true;
    case ProtocolState::AwaitVersion4:
      ls.versionBytes[1] = ls.rxByte;
      ls.protocolState = ProtocolState::Idle;
      host.StopResponseTimer();
      ShowVersion(host, IDC_VERSION_DSP1, ls.versionBytes[4], ls.versionBytes[5]);
      ShowVersion(host, IDC_VERSION_DSP2, ls.versionBytes[0], ls.versionBytes[1]);
      return true;
    case ProtocolState::Idle:
    default:
      return true;  // nothing is awaited: the byte is ignored
  }
  ReportCommError(host);
  return false;
}

}  // namespace

void SendByte(EngineHost& host, std::uint8_t b) {
  host.PortWrite(&b, 1);
  RestartResponseTimer(host);
}

void RestartResponseTimer(EngineHost& host) {
  host.StopResponseTimer();
  host.StartResponseTimer(RESPONSE_TIMEOUT_MS);
}

void ReportCommError(EngineHost& host) {
  host.StopResponseTimer();
  ls.protocolState = ProtocolState::Idle;
  host.ShowMessage(MSG_COMMUNICATION_ERROR);
}

std::uint8_t BuildSelectionMask(EngineHost& host) {
  std::uint8_t mask = 0;
  if (host.IsChecked(IDC_WRITE_DSP1)) mask += 1;
  if (host.IsChecked(IDC_TAVIX3_DSP1)) mask += 2;
  if (host.IsChecked(IDC_WRITE_DSP2)) mask += 4;
  if (host.IsChecked(IDC_TAVIX3_DSP2)) mask += 8;
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

void OnUpdateClicked(EngineHost& host) {
  if (ls.protocolState != ProtocolState::Idle) return;
  if (!host.IsChecked(IDC_WRITE_DSP1) && !host.IsChecked(IDC_WRITE_DSP2)) {
    host.ShowMessage(MSG_DSP_SELECT_ERROR);
    return;
  }
  ImageSelection selection = SelectImageFile(host);
  if (selection.outcome != SelectOutcome::Opened) return;

  const std::uint8_t request[2] = {WRITE_COMMAND, BuildSelectionMask(host)};
  host.PortWrite(request, sizeof request);
  host.StartResponseTimer(RESPONSE_TIMEOUT_MS);
  ls.protocolState = ProtocolState::AwaitCommandAck;
  ls.commandIssued = 1;
  ls.sendIndex = 0;  // nothing of the new image is confirmed, whatever the last one reached
  const LoadOutcome loaded = LoadImage(selection.stream);
  if (loaded != LoadOutcome::Loaded) {
    // The request is out, so end the exchange before anything is shown: no ACK may start a
    // transfer from a buffer that does not hold the whole file.
    host.StopResponseTimer();
    ls.protocolState = ProtocolState::Idle;
    host.ShowMessage(loaded == LoadOutcome::SizeChanged ? MSG_FILE_SIZE_ERROR
                                                        : MSG_FILE_OPEN_ERROR);
  }
}

void OnVerReadClicked(EngineHost& host) {
  if (ls.commandIssued != 0) {
    host.ShowMessage(MSG_ONLY_ONCE);
    return;
  }
  const std::uint8_t request = VERSION_COMMAND;
  host.PortWrite(&request, 1);
  host.StartResponseTimer(RESPONSE_TIMEOUT_MS);
  ls.protocolState = ProtocolState::AwaitVersion1;
  ls.commandIssued = 1;
}

long OnCommNotify(EngineHost& host, unsigned long /*wParam*/, long /*lParam*/) {
  if (!host.PortUsable()) return 0;
  // One count covers the bytes already queued; any that arrive later raise a notification of
  // their own, so one query per notification is enough.
  std::size_t waiting = host.PortPendingCount();
  bool exchangeGoesOn = true;
  while (waiting > 0) {
    std::uint8_t chunk[RX_CHUNK];
    const std::size_t asked = waiting < RX_CHUNK ? waiting : RX_CHUNK;
    const std::size_t delivered = host.PortRead(chunk, asked);
    if (delivered == 0 || delivered > asked) return 0;
    waiting -= delivered;
    for (std::size_t i = 0; i < delivered && exchangeGoesOn; ++i) {
      exchangeGoesOn = Dispatch(host, chunk[i]);
    }
    // After a failure the rest of what was queued belongs to the dead exchange: read it away
    // while nothing is awaited, but never into an exchange started meanwhile.
    if (!exchangeGoesOn && ls.protocolState != ProtocolState::Idle) return 0;
  }
  return 0;
}

void OnTimer(EngineHost& host, int /*timerId*/) {
  // An expiry queued just before the timer was stopped can still arrive after the exchange has
  // ended; reporting it would follow " Completion !!! " with a false error.
  if (ls.protocolState == ProtocolState::Idle) return;
  ReportCommError(host);
}

}  // namespace vannor
