#include "bench/bench_support.h"

#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "image/image_loader.h"
#include "protocol/link_state.h"
#include "protocol/messages.h"

namespace vannor::bench {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::nanoseconds;

nanoseconds CpuClock(clockid_t clock) {
  timespec now{};
  // Fails only for an unknown clock; then the figure reads 0.
  if (clock_gettime(clock, &now) != 0) return nanoseconds(0);
  return std::chrono::seconds(now.tv_sec) + nanoseconds(now.tv_nsec);
}

}  // namespace

nanoseconds ProcessCpu() {
  return CpuClock(CLOCK_PROCESS_CPUTIME_ID);
}

nanoseconds ThreadCpu() {
  return CpuClock(CLOCK_THREAD_CPUTIME_ID);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

namespace {

std::vector<double> SortedRatios(const std::vector<double>& a, const std::vector<double>& b) {
  std::vector<double> ratios;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    if (b[i] > 0) ratios.push_back(a[i] / b[i]);
  }
  std::sort(ratios.begin(), ratios.end());
  return ratios;
}

}  // namespace

double PairedRatio(const std::vector<double>& a, const std::vector<double>& b) {
  return Median(SortedRatios(a, b));
}

std::string PairedSpread(const std::vector<double>& a, const std::vector<double>& b) {
  const std::vector<double> ratios = SortedRatios(a, b);
  if (ratios.empty()) return "[]";
  char text[48];
  snprintf(text, sizeof text, "[%.2f, %.2f]", ratios[ratios.size() / 4],
           ratios[ratios.size() * 3 / 4]);
  return text;
}

double Microseconds(nanoseconds t) {
  return std::chrono::duration<double, std::micro>(t).count();
}

std::string WriteImageFile(const std::string& folder, const std::vector<std::uint8_t>& image) {
  const std::string path = folder + "/bench.out";
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(image.data()),
             static_cast<std::streamsize>(image.size()));
  file.close();
  // Where the system cannot tell whether a file is being written, one changed just before it
  // is read is refused: left to settle first, as a user's file is.
  std::this_thread::sleep_for(std::chrono::milliseconds(2 * IMAGE_SETTLE_MS));
  return file ? path : std::string();
}

LinkRound HeadlessRound(const std::string& imagePath, const std::vector<std::uint8_t>& image,
                        const sim::RadioSimulator& radio) {
  LinkRound round;
  headless::HeadlessHost host(headless::HeadlessHost::Timer::Real);
  if (host.OpenAndListen(0) != 1) return round;
  const nanoseconds eventThreadBefore = host.EventThreadCpu();
  const nanoseconds cpuBefore = ProcessCpu();
  const Clock::time_point start = Clock::now();
  host.ClickUpdate(imagePath);
  const bool shown = host.WaitForMessages(1, std::chrono::minutes(10));
  const Clock::time_point end = Clock::now();
  round.processCpu = ProcessCpu() - cpuBefore;
  round.eventThreadCpu = host.EventThreadCpu() - eventThreadBefore;
  round.counts = host.Look().counts;
  host.End();
  if (shown && host.Messages()[0] == MSG_COMPLETION && radio.Image() == image) {
    round.took = end - start;
  }
  return round;
}

IdleRound HeadlessIdle(std::chrono::milliseconds span) {
  IdleRound idle;
  headless::HeadlessHost host(headless::HeadlessHost::Timer::Real);
  if (host.OpenAndListen(0) != 1) return idle;
  const headless::HostCounts before = host.Look().counts;
  // Lets the event thread finish that call and go back to its wait.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const nanoseconds cpuBefore = host.EventThreadCpu();
  std::this_thread::sleep_for(span);
  // Read before any further call: each call is a wake of the event thread.
  const nanoseconds cpuAfter = host.EventThreadCpu();
  const headless::HostCounts after = host.Look().counts;
  host.End();
  if (cpuBefore.count() >= 0 && cpuAfter.count() >= 0) idle.cpu = cpuAfter - cpuBefore;
  idle.wakes = after.notifications - before.notifications;
  return idle;
}

bool ParseOptions(int argc, char** argv, const std::vector<IntOption>& options) {
  for (int i = 1; i < argc; i += 2) {
    if (i + 1 >= argc) return false;
    char* end = nullptr;
    const long value = strtol(argv[i + 1], &end, 10);
    const auto option = std::find_if(options.begin(), options.end(), [&](const IntOption& o) {
      return std::strcmp(argv[i], o.name) == 0;
    });
    if (option == options.end() || end == argv[i + 1] || *end != '\0' || value < option->low ||
        value > option->high) {
      return false;
    }
    *option->value = value;
  }
  return true;
}

}  // namespace vannor::bench
