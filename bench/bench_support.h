// What both benchmark programs share: the image they send, clocks, medians, and one Update
// through the headless host, so that every figure of a run comes from the same steps.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "testing/headless_host.h"
#include "testing/images.h"
#include "tools/radio_sim.h"

namespace vannor::bench {

// CPU time used so far by the whole process and by the calling thread; zero when the clock
// cannot be read.
std::chrono::nanoseconds ProcessCpu();
std::chrono::nanoseconds ThreadCpu();

double Median(std::vector<double> values);
// The median of each round's own ratio a[i] / b[i]: rows of one round run back to back, so a
// busy spell of the machine weighs on both sides of a ratio, not on one side of a median.
double PairedRatio(const std::vector<double>& a, const std::vector<double>& b);
// The middle half of those ratios, printed as "[low, high]": how far one run can be trusted.
std::string PairedSpread(const std::vector<double>& a, const std::vector<double>& b);
double Microseconds(std::chrono::nanoseconds t);

// Writes `image` to <folder>/bench.out and returns that path; empty when it could not be written.
std::string WriteImageFile(const std::string& folder, const std::vector<std::uint8_t>& image);

struct LinkRound {
  std::chrono::nanoseconds took{-1};  // negative when the round failed
  headless::HostCounts counts;
  std::chrono::nanoseconds eventThreadCpu{0};
  std::chrono::nanoseconds processCpu{0};
};

// One Update through the real engine and serial line on the headless host's event thread, which
// waits on the port itself, from the click to the " Completion !!! " box, on COM1. Fails unless
// that box came and the radio holds `image`.
LinkRound HeadlessRound(const std::string& imagePath, const std::vector<std::uint8_t>& image,
                        const sim::RadioSimulator& radio);

// What one event thread did over an idle span with its port open and nothing to send.
struct IdleRound {
  std::chrono::nanoseconds cpu{-1};  // negative when it could not be measured
  std::uint64_t wakes = 0;           // times the port was reported ready
};

// The headless host with COM1 open and watched, left alone for `span`.
IdleRound HeadlessIdle(std::chrono::milliseconds span);

// A figure's verdict against its target, printed beside it. The benchmark only reports: a
// missed target never fails a run.
inline const char* Verdict(bool met) {
  return met ? "met" : "MISSED";
}

// Parses "--name N" pairs: each name in `names` sets the value beside it when N lies in
// [low, high]. False on anything else.
struct IntOption {
  const char* name;
  long low;
  long high;
  long* value;
};
bool ParseOptions(int argc, char** argv, const std::vector<IntOption>& options);

}  // namespace vannor::bench
