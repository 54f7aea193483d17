// The radio on the far side of the line: a pseudo-terminal whose master end this simulator
// holds, served on a thread of its own. Tests and the benchmark start it in-process; the program
// vannor-radio-sim wraps it for people.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/port_map.h"
#include "tools/radio_session.h"

namespace vannor::sim {

// An image that is over, whichever way it ended: the told length reached, the idle gap, a fault,
// a hang-up, or a new command after the gap.
struct EndedImage {
  std::uint32_t writeRequest = 0;  // the write request it belonged to, counted from 1; 0: none
  std::uint32_t length = 0;
  bool faultPlayed = false;
};

class RadioSimulator {
 public:
  RadioSimulator() = default;
  RadioSimulator(const RadioSimulator&) = delete;
  RadioSimulator& operator=(const RadioSimulator&) = delete;
  ~RadioSimulator() { Stop(); }

  // Opens a pseudo-terminal and starts serving it. The slave end stays in whatever mode its
  // user sets: the simulator never changes the line's settings.
  bool Start(const RadioConfig& config);
  // Serves a real serial device instead (a null-modem cable to the tool's machine); the device
  // is put into 38400 8N1 raw mode.
  bool StartDevice(const std::string& path, const RadioConfig& config);
  // The path the tool opens: the pty's slave, or the device.
  std::string SlavePath() const { return slavePath_; }

  // Links <configHome>/vannor/ports/COM<comNumber> to the slave, so the tool's COMn reaches the
  // simulator. A link that was there is put back by Stop (or by the next MapPort).
  bool MapPort(const std::string& configHome, int comNumber);
  // The link MapPort made, or empty.
  std::string MappedLink() const { return mapping_.linkPath; }

  // The behaviour for the next command; the exchange in progress keeps its own.
  void Reconfigure(const RadioConfig& config);

  // Stops the thread, closes the line and removes the port link. Safe to call more than once.
  void Stop();

  RadioRecord Record() const;
  // The bytes of the latest image, as far as they were recorded.
  std::vector<std::uint8_t> Image() const;
  // The latest image that is over, and its bytes as far as they were recorded. An image that
  // ends by the idle gap and is followed at once by the next write request is not missed.
  EndedImage LatestEndedImage(std::vector<std::uint8_t>& bytes);
  // Waits, at most `limit`, until the latest image is over (expected length reached, idle gap,
  // a fault, or a hang-up). False when it is not over by then.
  bool WaitImageOver(std::chrono::milliseconds limit) const;
  // Waits, at most `limit`, until at least `count` bytes have come from the tool.
  bool WaitBytesReceived(std::uint64_t count, std::chrono::milliseconds limit) const;
  // False once the line is gone: after a hang-up fault or a failed read.
  bool Running() const { return running_.load(std::memory_order_acquire); }

 private:
  bool Launch(const RadioConfig& config);
  void Serve();
  // While the radio floods the idle line, sends its byte every byte time until the tool's
  // bytes are waiting; returns at once when it does not flood. False when the simulator stops.
  bool FloodUntilBytesCome();
  void ServeBytes(const std::uint8_t* bytes, std::size_t count);
  bool SleepUntil(Clock::time_point due);
  void CloseLine(bool hangUp);
  // Keeps the image of `writeRequest`, unless it is kept already. With mutex_ held.
  void KeepEndedImage(std::uint32_t writeRequest, std::uint32_t length, bool faultPlayed);

  mutable std::mutex mutex_;  // guards session_, the fds once the thread runs, and wakes waiters
  mutable std::condition_variable changed_;
  static constexpr std::uint64_t NO_BYTE_WAIT = ~std::uint64_t{0};
  mutable std::uint64_t notifyAtBytes_ = NO_BYTE_WAIT;  // the fewest bytes a waiter wants
  mutable int byteWaiters_ = 0;
  RadioSession session_;
  // A copy, because the next write request overwrites the session's image; room for it is
  // made before the line is served, so that keeping it never allocates.
  EndedImage ended_;
  std::vector<std::uint8_t> endedBytes_;
  int masterFd_ = -1;
  // The simulator keeps the slave open itself, so the master never sees a hang-up while the
  // tool has its port closed, and so Stop can wake a blocked read by writing into the line.
  int slaveFd_ = -1;
  bool device_ = false;
  std::string slavePath_;
  PortMapping mapping_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> running_{false};
  std::mutex sleepMutex_;
  std::condition_variable sleepWake_;
  // Pacing: when the line is next free in each direction.
  Clock::time_point inboundFree_{};
  Clock::time_point outboundFree_{};
  // When the flood's next byte is due: bytes that come in between do not hurry it.
  Clock::time_point floodDue_{};
};

}  // namespace vannor::sim
