// The one open serial port (linkState.portHandle) and the engine's operations on it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vannor {

// Opens the port at index 0 to 9 of the port list, exclusively, and configures the line.
// 1 when it is open and configured, 0 otherwise; portHandle then holds INVALID_PORT_HANDLE.
// A port that is still open is closed first, so that no descriptor is ever lost.
int OpenPort(int index);

// Closes portHandle if a port is open and leaves it invalid.
void ClosePort();

// Counts every change of portHandle. The listener compares it under portLock to learn that the
// port it watches was replaced, even when the new descriptor has the old one's number.
std::uint32_t PortGeneration();

// The engine's port operations. None of them blocks: a write that cannot be queued is lost
// like a byte on a bad line, and the response time-out reports it.
bool SerialPortUsable();
void SerialWrite(const std::uint8_t* bytes, std::size_t count);
// Bytes waiting in the input queue; 0 when the port is gone.
std::size_t SerialPendingCount();
// Reads at most count waiting bytes; returns how many it delivered.
std::size_t SerialRead(std::uint8_t* buffer, std::size_t count);

}  // namespace vannor
