// What the protocol engine needs of the open port. None of these blocks: a write that cannot be
// queued is lost like a byte on a bad line, and the engine's response time-out reports it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vannor {

class PortIo {
 public:
  // Whether a port is open at all.
  virtual bool PortUsable() = 0;
  // Queues the bytes in order; never waits for them to leave.
  virtual void Write(const std::uint8_t* bytes, std::size_t count) = 0;
  // Bytes waiting in the input queue; 0 when there is no port or it went away.
  virtual std::size_t PendingCount() = 0;
  // Reads at most count waiting bytes; returns how many it delivered, possibly fewer.
  virtual std::size_t Read(std::uint8_t* buffer, std::size_t count) = 0;

 protected:
  ~PortIo() = default;
};

}  // namespace vannor
