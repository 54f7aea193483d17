// The process-wide state of the serial link and of the one exchange that can be in progress.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "protocol/comm_notify_target.h"

namespace vannor {

inline constexpr std::uint32_t IMAGE_CAPACITY = 200000;

// A port is a file descriptor; the invalid value has all bits set, as the radio tool has always
// treated a failed open.
using PortHandle = int;
inline constexpr PortHandle INVALID_PORT_HANDLE = -1;

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
  // Two groups of four, DSP2 first: a version reply lands at 4, 5, 0, 1 in arrival order.
  std::uint8_t versionBytes[8];
  std::uint8_t imageBuffer[IMAGE_CAPACITY];
  ProtocolState protocolState;
  std::uint8_t rxByte;
  std::uint32_t sendIndex;
  std::uint32_t imageLength;
  // Target of the listener's notifications; set once, before the listener starts.
  CommNotifyTarget* mainWindow;
  // Guards portHandle between the listener's copy of it and a port switch.
  std::mutex portLock;
  std::atomic<std::int32_t> stopListener;
  PortHandle portHandle;
  std::int32_t commandIssued;
};

// The one instance; zero (Idle, no port) at start, except portHandle which starts invalid.
extern LinkState linkState;

}  // namespace vannor
