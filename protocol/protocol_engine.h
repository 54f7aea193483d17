// The protocol engine: the image write and the version read with the radio, driven by one
// link's events (clicks, arrivals, time-outs) on that link's event thread. It owns the link's
// exchange state and reaches the port and the window only through the two interfaces it is
// given.
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

// "V" + major + "." + minor, each with at least two digits, into a fixed buffer.
struct VersionText {
  char text[sizeof("V255.255")];
  std::size_t length;
};
VersionText FormatVersion(std::uint8_t major, std::uint8_t minor);

class ProtocolEngine {
 public:
  ProtocolEngine(PortIo& port, EngineHost& host) : port_(port), host_(host) {}
  ProtocolEngine(const ProtocolEngine&) = delete;
  ProtocolEngine& operator=(const ProtocolEngine&) = delete;

  void OnUpdateClicked();
  void OnVerReadClicked();
  // Bytes have arrived: reads every byte waiting at the time of the call and runs the state
  // machine over them.
  void OnCommNotify();
  // The response timer expired.
  void OnTimer();

  void SendByte(std::uint8_t b);
  void RestartResponseTimer();
  void ReportCommError();

  // The mask that tells the radio which DSPs to write: 1 DSP1 Write, 2 DSP1 Tavix3,
  // 4 DSP2 Write, 8 DSP2 Tavix3.
  std::uint8_t BuildSelectionMask();

  // Follows every exchange from now on; null for none (the default).
  void SetObserver(ExchangeObserver* observer) { observer_ = observer; }

  bool Busy() const { return linkState.protocolState != ProtocolState::Idle; }
  const LinkState& State() const { return linkState; }
  LinkState& State() { return linkState; }

 private:
  bool Dispatch(std::uint8_t byte);
  // Tells the observer why the exchange in progress failed.
  void ObserveFailure(bool timedOut, std::uint8_t expected);
  void ShowProgress();
  void ShowVersion(Label label, std::uint8_t major, std::uint8_t minor);
  // Lets the user pick the image and reads it into imageBuffer; false (with its message shown)
  // when there is nothing to send.
  bool ChooseAndLoadImage();

  PortIo& port_;
  EngineHost& host_;
  ExchangeObserver* observer_ = nullptr;
  LinkState linkState;
};

}  // namespace vannor
