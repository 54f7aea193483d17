// The state of one link's exchange with the radio. Each link (a window, a headless host, one
// radio of the command line) owns one, inside its protocol engine.
#pragma once

#include <cstdint>

#include "image/update_image.h"

namespace vannor {

enum class ProtocolState : std::uint8_t {
  Idle = 0,
  AwaitCommandAck = 1,
  AwaitStartAck = 2,
  Sending = 3,
  AwaitVersion1 = 10,
  AwaitVersion2 = 11,
  AwaitVersion3 = 12,
  AwaitVersion4 = 13,
};

struct LinkState {
  // The version reply in arrival order: DSP1 major, DSP1 minor, DSP2 major, DSP2 minor.
  std::uint8_t versionBytes[4] = {};
  // The image being written, read in place: its owner (the link) keeps it while the exchange
  // runs.
  const std::uint8_t* image = nullptr;
  ProtocolState protocolState = ProtocolState::Idle;
  std::uint8_t rxByte = 0;
  std::uint32_t sendIndex = 0;
  std::uint32_t imageLength = 0;
  // Set once an Update or a Ver Read has sent its request on an open port; never cleared while
  // the link lives.
  std::int32_t commandIssued = 0;
};

}  // namespace vannor
