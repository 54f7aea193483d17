// The line contract's far end on Linux: the radio simulator in-process, on a pseudo-terminal
// that COM1 of a private port map leads to; COM4 leads to a device that is not there. The event
// loop is a poll on the descriptor the line names to be watched.
#include <poll.h>

#include "tests/serial/line_contract.h"
#include "tests/serial/serial_test_support.h"
#include "tools/radio_sim.h"

namespace vannor::test {

struct RadioEnd::Parts {
  PortMap map;
  sim::RadioSimulator radio;
  bool ok = false;
};

RadioEnd::RadioEnd(const RadioSetup& setup) : parts_(std::make_unique<Parts>()) {
  sim::RadioConfig config;
  std::copy(std::begin(setup.version), std::end(setup.version), std::begin(config.version));
  config.expectedLength = setup.length;
  if (setup.hangUpAt >= 0) config.hangUpAt = static_cast<std::uint32_t>(setup.hangUpAt);
  parts_->ok = parts_->radio.Start(config) &&
               parts_->map.Map(RADIO_PORT, parts_->radio.SlavePath()) &&
               parts_->map.Map(MISSING_PORT, parts_->map.Folder() + "/unplugged");
}

RadioEnd::~RadioEnd() = default;

bool RadioEnd::Ok() const {
  return parts_->ok;
}

std::string RadioEnd::Device() const {
  return parts_->map.LinkFor(RADIO_PORT) + " -> " + parts_->radio.SlavePath();
}

bool RadioEnd::PortIsFree() const {
  return test::PortIsFree(parts_->radio.SlavePath());
}

bool RadioEnd::ReceivedImage(const Bytes& image) {
  if (!parts_->radio.WaitImageOver(kPatience)) return false;
  const sim::RadioRecord record = parts_->radio.Record();
  return parts_->radio.Image() == image && record.protocolErrors == 0 && record.strayBytes == 0;
}

bool TestLoop::Next(Line& line) {
  if (line.Waitable() == NO_DESCRIPTOR) return false;
  pollfd port{.fd = line.Waitable(), .events = POLLIN, .revents = 0};
  const auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(kPatience);
  // A hang-up wakes the loop too; the line finds it when it asks what waits.
  return poll(&port, 1, static_cast<int>(limit.count())) == 1;
}

}  // namespace vannor::test
