// What the protocol engine needs of the open port. None of these blocks: a write that cannot be
// queued is lost like a byte on a bad line, and the engine's response time-out reports it. A
// port that fails (the adapter pulled, the far end hung up, a write the driver refuses) says so
// at once, so that the exchange can end without waiting for the time-out.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vannor {

class PortIo {
 public:
  // Whether a port is open at all.
  virtual bool PortUsable() = 0;
  // Hands the bytes to the driver in order; never waits for them to leave the wire (on Windows
  // it waits until the driver has taken them, about a byte's time, so that a short or timed-out
  // write is seen). False when the open port has failed or no port is open: then nothing went
  // out.
  virtual bool Write(const std::uint8_t* bytes, std::size_t count) = 0;
  // Bytes waiting in the input queue; 0 when there is no port or it went away.
  virtual std::size_t PendingCount() = 0;
  // Reads at most count waiting bytes; returns how many it delivered, possibly fewer.
  virtual std::size_t Read(std::uint8_t* buffer, std::size_t count) = 0;
  // Drops whatever has arrived and not been read, so that an answer can only come after a
  // request.
  virtual void DiscardInput() = 0;
  // Whether the open port has failed since it opened: it will never carry a byte again.
  virtual bool PortFailed() = 0;
  // Closes the port for good; the engine does so once it has seen it fail.
  virtual void ClosePort() = 0;
  // How long the port may hold received bytes back before they can be read (a USB adapter's
  // latency timer), in ms; -1 where the system does not tell.
  virtual int HoldBackMs() { return -1; }

 protected:
  ~PortIo() = default;
};

}  // namespace vannor
