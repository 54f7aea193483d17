// What the line promises whichever port is behind it, and the two pieces each platform supplies
// for checking it (tests/serial/linux_radio_end.cpp, tests/serial/win32/wine_radio_end.cpp): the
// radio at the far end of the line, and the host's event loop reduced to a wait for the next
// port event.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "protocol/link.h"
#include "serial/line.h"
#include "testing/counting_target.h"
#include "testing/images.h"
#include "testing/memory_image.h"

namespace vannor::test {

using testkit::Bytes;
using namespace std::chrono_literals;

// Generous bound for anything that should happen at once; only a hang reaches it.
inline constexpr auto kPatience = 5s;

// The port list index that leads to the radio, and one that leads nowhere.
inline constexpr int RADIO_PORT = 0;
inline constexpr int MISSING_PORT = 3;

// What the radio is told to do. Under Wine vannor-wine-radio plays it, set up by the test's
// CMake entry with the same values (tests/serial/win32/CMakeLists.txt).
struct RadioSetup {
  std::uint8_t version[4] = {1, 3, 2, 0};
  // The image's length, so that the radio knows at once when it is over; 0: an idle gap tells.
  std::uint32_t length = 0;
  // The radio closes the line when image byte N arrives; negative for never.
  int hangUpAt = -1;
};

// The radio behind RADIO_PORT.
class RadioEnd {
 public:
  explicit RadioEnd(const RadioSetup& setup = {});
  ~RadioEnd();
  RadioEnd(const RadioEnd&) = delete;
  RadioEnd& operator=(const RadioEnd&) = delete;

  bool Ok() const;
  // The device that RADIO_PORT resolves to, as the line names it.
  std::string Device() const;
  // Whether another program could take the radio's port now.
  bool PortIsFree() const;
  // Whether the radio received exactly `image` in its latest write, with no stray byte. Under
  // Wine the comparison is vannor-wine-radio's once the program has ended (--check-image
  // image.out); here the image is only handed to it.
  bool ReceivedImage(const Bytes& image);

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

// The host's event loop as far as the line is concerned: it is told about the port as a host is
// (a descriptor to watch, or the listener's posts) and hands each port event to the line.
class TestLoop : public testkit::CountingTarget {
 public:
  // Waits for the next port event. False when none came within kPatience.
  bool Next(Line& line);

 private:
  int heard_ = 0;
};

// The engine's side of an exchange, without the engine: reads only when the loop says there is
// something, and then all that waits, as the engine does.
class Exchange {
 public:
  Exchange(Line& line, TestLoop& loop) : line_(line), loop_(loop) {}

  void Send(const Bytes& bytes) { line_.Write(bytes.data(), bytes.size()); }
  // Up to count bytes, fewer when the loop tells of nothing more within kPatience.
  Bytes Receive(std::size_t count);
  // The radio's four version bytes.
  Bytes ReadVersions();
  // Write request with mask and ENQ; whether the radio took both.
  bool StartWrite(std::uint8_t mask);
  // That, then the image byte by byte; the echoes.
  Bytes WriteImage(const Bytes& image, std::uint8_t mask);

 private:
  Line& line_;
  TestLoop& loop_;
  Bytes received_;
};

// Ends the wait for a quiet line before a request at once, as a loop would once its deadline
// fell on a quiet line: the request goes out.
inline void PassQuietPeriod(Link& link) {
  if (link.AwaitingQuietLine() && link.Deadline()) link.OnDeadline(*link.Deadline());
}

// A link's host whose port events go to the test's loop, with the outcomes and the pick's
// questions recorded.
class PickingHost : public LinkHost, public PortPickQuestions {
 public:
  explicit PickingHost(TestLoop& loop) : loop_(loop) {}

  std::vector<ExchangeOutcome> outcomes;
  bool leaveUpdate = true;  // the answer to the switch question
  int questions = 0;
  int notUsableShown = 0;
  std::size_t outcomesWhenToldNotUsable = 0;  // how many had been reported by then

  void PortEvent() override { loop_.PortEvent(); }
  void ReportOutcome(const ExchangeOutcome& outcome) override { outcomes.push_back(outcome); }
  bool LeaveUnfinishedUpdate() override {
    ++questions;
    return leaveUpdate;
  }
  void ShowPortNotUsable(int, const OpenFailure&) override {
    ++notUsableShown;
    outcomesWhenToldNotUsable = outcomes.size();
  }

 private:
  TestLoop& loop_;
};

}  // namespace vannor::test
