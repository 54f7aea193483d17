// One radio of the command line: the tool's Link with the command line's side of it. The link
// does no waiting of its own: the command line's one event loop watches every link's port and
// deadline and calls it back (see link_loop.h); what is left here is how an outcome becomes a
// line and an exit code.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "cli/loop_wake.h"
#include "protocol/link.h"

namespace vannor::cli {

// How a link's run ended.
struct LinkOutcome {
  int exitCode = 0;
  std::string text;  // one line: the versions, "written", or why not
};

class RadioLink final : public LinkHost {
 public:
  // `port` is COMn or a device path; `wake` is the loop's that will run the link; each request
  // is recorded in `history`, which outlives the link.
  RadioLink(std::string port, bool verbose, LoopWake& wake, HistoryLog& history);
  RadioLink(const RadioLink&) = delete;
  RadioLink& operator=(const RadioLink&) = delete;

  // Opens the port and starts watching it, with no request (a link that only listens); false
  // (with the outcome set) when it did not open.
  bool Open();
  // The request, through the link's steps; the port opens once it has passed its checks. The
  // loop then runs it until the link is Done(). A refused request (the DSP choice or the image)
  // or a port that does not open ends the link at once.
  void StartVersionRead();
  // `image` is shared by every radio's link, which read its file once.
  void StartWrite(std::uint8_t mask, const ImageSource& image);
  // The request was refused before any port opened: the DSP choice or the image.
  bool Refused() const { return refused_; }
  // The record of the link's request, as one line of JSON.
  const std::string& Record() const { return link_.LastRecord(); }
  // Follows the link's exchange (the progress view), besides the trace.
  void Follow(ExchangeObserver& observer) { (void)link_.Follow(observer); }

  bool Done() const { return outcome_.has_value(); }
  // The descriptor the loop must watch for this link, or NO_DESCRIPTOR.
  int Descriptor() const { return link_.Waitable(); }
  // Whether the port is watched: on Windows a listener thread posts for it.
  bool Watching() const { return link_.Watching(); }
  // When the response time-out falls, while the link is not done.
  std::optional<LinkClock::time_point> Deadline() const;

  // The milliseconds to the deadline for the loop's wait (Link::MillisecondsToDeadline); -1
  // once done.
  int MillisecondsToDeadline(LinkClock::time_point now) const {
    return Done() ? -1 : link_.MillisecondsToDeadline(now);
  }
  // From the loop, after each wait: the port read if it is ready, then the deadline if due.
  void Service(bool portReady, LinkClock::time_point now) {
    if (!Done()) (void)link_.Service(portReady, now);  // the command line counts no expiries
  }
  // A signal: ends the exchange at once.
  void Interrupt();

  // The stop sequence (stop watching, close, settings back), then how the link ended.
  LinkOutcome Finish();

  // LinkHost. Windows: from the listener thread; wakes the loop. Linux: the loop reads
  // Descriptor() at each wait, and the wake does nothing.
  void PortEvent() override { wake_.Wake(); }
  void ReportOutcome(const ExchangeOutcome& outcome) override;
  bool OpenForRequest() override { return Open(); }

 private:
  const std::string port_;
  LoopWake& wake_;
  Link link_;
  std::optional<LinkOutcome> outcome_;
  // The write's image, for the words of its refusal.
  const ImageSource* image_ = nullptr;
  bool refused_ = false;
};

}  // namespace vannor::cli
