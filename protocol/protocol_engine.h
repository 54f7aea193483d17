// The protocol engine: the image write and the version read, driven by the window's events on
// the user-interface thread. All of its state lives in linkState.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/engine_host.h"

namespace vannor {

inline constexpr std::uint8_t WRITE_COMMAND = 0x57;
inline constexpr std::uint8_t VERSION_COMMAND = 0x56;
inline constexpr std::uint8_t ACK = 0x06;
inline constexpr std::uint8_t ENQ = 0x05;
inline constexpr std::size_t RX_CHUNK = 100;

void OnUpdateClicked(EngineHost& host);
void OnVerReadClicked(EngineHost& host);
// Reads every byte waiting at the time of the call and runs the state machine over them.
// Both parameters are ignored; returns 0.
long OnCommNotify(EngineHost& host, unsigned long wParam = 0, long lParam = 0);
// Response time-out; timerId is not examined.
void OnTimer(EngineHost& host, int timerId = RESPONSE_TIMER);

void SendByte(EngineHost& host, std::uint8_t b);
void RestartResponseTimer(EngineHost& host);
void ReportCommError(EngineHost& host);

// The mask that tells the radio which DSPs to write: 1 DSP1 Write, 2 DSP1 Tavix3,
// 4 DSP2 Write, 8 DSP2 Tavix3.
std::uint8_t BuildSelectionMask(EngineHost& host);

// "V" + major + "." + minor, each with at least two digits, into a fixed buffer.
struct VersionText {
  char text[sizeof("V255.255")];
  std::size_t length;
};
VersionText FormatVersion(std::uint8_t major, std::uint8_t minor);

}  // namespace vannor
