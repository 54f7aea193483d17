// vannor-quiet-bench: how long the wait for a quiet line before a request and the limit for a
// radio that talks unasked last by the clock on Windows, through vannor-cli's own link and loop,
// against ratios to the 4 ms and the 1 s they are meant to be. Run under Wine by
// scripts/bench-windows.sh, with the radio of vannor-wine-radio on COM1:
//
//   vannor-quiet-bench writes N   N writes of 16 bytes to a radio that is quiet until asked
//   vannor-quiet-bench unasked    a version read from a radio that never stops talking
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "cli/link_loop.h"
#include "cli/radio_link.h"
#include "history/history_log.h"
#include "protocol/protocol_engine.h"

namespace {

using vannor::LinkClock;
using Ms = std::chrono::duration<double, std::milli>;

// When the request left, for the quiet wait's end.
class RequestClock final : public vannor::ExchangeObserver {
 public:
  LinkClock::time_point sent{};
  void OnRequest(const std::uint8_t* /*bytes*/, std::size_t /*count*/) override {
    sent = LinkClock::now();
  }
  void OnAcknowledged(vannor::ProtocolState /*next*/) override {}
  void OnProgress(std::uint32_t /*confirmed*/, std::uint32_t /*length*/) override {}
  void OnEnded(const vannor::ExchangeOutcome& /*outcome*/) override {}
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The floor: how long the system itself takes to end a wait of QUIET_TIME_MS on an event that is
// never set (under Wine, its server's own timer granularity).
double BareWaitMs(int rounds) {
  const HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (never == nullptr) return 0.0;
  std::vector<double> waits;
  for (int round = 0; round < rounds; ++round) {
    const LinkClock::time_point start = LinkClock::now();
    (void)WaitForSingleObject(never, vannor::QUIET_TIME_MS);  // times out: that is the figure
    waits.push_back(Ms(LinkClock::now() - start).count());
  }
  (void)CloseHandle(never);  // ours, waited on by nobody now
  return Median(waits);
}

int Writes(int rounds) {
  const std::vector<std::uint8_t> image(16, 0x5A);
  // The image as vannor-cli shares it among its links.
  auto shared = std::make_shared<vannor::UpdateImage>();
  shared->chosen.length = static_cast<std::uint32_t>(image.size());
  shared->bytes = image;
  // Records made as vannor-cli makes them, kept nowhere.
  vannor::HistoryLog history({}, "vannor-cli", "bench");
  // From the click, and from the quiet wait's start (after the flush, when its deadline is set).
  std::vector<double> fromClick, waits;
  for (int round = 0; round < rounds; ++round) {
    vannor::cli::LoopWake wake;
    vannor::cli::SignalWatch signals;
    vannor::cli::RadioLink link("COM1", false, wake, history);
    RequestClock clock;
    link.Follow(clock);
    if (!link.Open()) {
      std::fprintf(stderr, "vannor-quiet-bench: %s\n", link.Finish().text.c_str());
      return 3;
    }
    const LinkClock::time_point clicked = LinkClock::now();
    link.StartWrite(0x0F, vannor::ImageSource(std::shared_ptr<const vannor::UpdateImage>(shared)));
    const LinkClock::time_point quietFrom =
        link.Deadline().value_or(clicked) - std::chrono::milliseconds(vannor::QUIET_TIME_MS);
    vannor::cli::RunLinks({&link}, signals, wake);
    const vannor::cli::LinkOutcome outcome = link.Finish();
    if (outcome.exitCode != 0 || clock.sent < quietFrom) {
      std::fprintf(stderr, "vannor-quiet-bench: round %d: %s\n", round, outcome.text.c_str());
      return 1;
    }
    fromClick.push_back(Ms(clock.sent - clicked).count());
    waits.push_back(Ms(clock.sent - quietFrom).count());
  }
  const double median = Median(waits);
  const double bare = BareWaitMs(rounds);
  // The same with the port open and its listener waiting on it, as during the quiet wait: under
  // Wine every request its server handles meanwhile sets its timers again, rounded up to the
  // millisecond.
  double bareWatched = 0;
  {
    vannor::cli::LoopWake wake;
    vannor::cli::RadioLink link("COM1", false, wake, history);
    if (link.Open()) bareWatched = BareWaitMs(rounds);
    (void)link.Finish();
  }
  std::printf(
      "quiet wait before a request, %d writes: median %.2f ms (min %.2f, max %.2f), "
      "%.3f x the %d ms period; click to request: median %.2f ms\n"
      "a bare %d ms wait of the system: %.2f ms, %.3f x; with a port open and watched: %.2f ms; "
      "the quiet wait against that: %.3f x\n",
      rounds, median, *std::min_element(waits.begin(), waits.end()),
      *std::max_element(waits.begin(), waits.end()), median / vannor::QUIET_TIME_MS,
      vannor::QUIET_TIME_MS, Median(fromClick), vannor::QUIET_TIME_MS, bare,
      bare / vannor::QUIET_TIME_MS, bareWatched, bareWatched > 0 ? median / bareWatched : 0.0);
  return 0;
}

int Unasked() {
  vannor::cli::LoopWake wake;
  vannor::cli::SignalWatch signals;
  vannor::HistoryLog history({}, "vannor-cli", "bench");
  vannor::cli::RadioLink link("COM1", false, wake, history);
  if (!link.Open()) {
    std::fprintf(stderr, "vannor-quiet-bench: %s\n", link.Finish().text.c_str());
    return 3;
  }
  const LinkClock::time_point clicked = LinkClock::now();
  link.StartVersionRead();
  vannor::cli::RunLinks({&link}, signals, wake);
  const double took = Ms(LinkClock::now() - clicked).count();
  const vannor::cli::LinkOutcome outcome = link.Finish();
  std::printf("a radio that talks unasked: given up after %.1f ms, %.3f x the %d ms limit (%s)\n",
              took, took / vannor::UNASKED_LIMIT_MS, vannor::UNASKED_LIMIT_MS,
              outcome.text.c_str());
  return outcome.exitCode == 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view mode = argc > 1 ? argv[1] : "";
  if (mode == "writes" && argc == 3) return Writes(std::max(1, std::atoi(argv[2])));
  if (mode == "unasked" && argc == 2) return Unasked();
  std::fprintf(stderr, "usage: vannor-quiet-bench writes N | unasked\n");
  return 2;
}
