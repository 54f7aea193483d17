// vannor-bench: what the whole link costs per byte against the floor of a bare loop, both on
// the same pseudo-terminal and the same radio simulator, and how close a paced 38400-baud
// transfer comes to the wire's own limit.
#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/bare_loop.h"
#include "bench/bench_support.h"
#include "cli/link_loop.h"
#include "cli/radio_link.h"
#include "cli/signal_watch.h"
#include "protocol/link_state.h"
#include "tools/radio_sim.h"

namespace {

using namespace vannor;
using namespace vannor::bench;
using std::chrono::nanoseconds;

// Writes the image into `radios` at once through the command line's links, all in its one
// event loop on this thread, as vannor-cli does with several ports (COM<firstCom> onwards). The
// time until the last is done; negative when any failed.
nanoseconds CliRound(const std::vector<std::uint8_t>& image,
                     const std::vector<sim::RadioSimulator*>& radios, int firstCom) {
  cli::SignalWatch signals;
  cli::LoopWake wake;
  std::vector<std::unique_ptr<cli::RadioLink>> links;
  std::vector<cli::RadioLink*> running;
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < radios.size(); ++i) {
    links.push_back(std::make_unique<cli::RadioLink>(
        "COM" + std::to_string(firstCom + static_cast<int>(i)), false, wake));
    if (!links.back()->Open()) return nanoseconds(-1);
    links.back()->StartWrite({.writeDsp1 = true}, image.data(),
                             static_cast<std::uint32_t>(image.size()));
    running.push_back(links.back().get());
  }
  cli::RunLinks(running, signals, wake);
  const nanoseconds took = std::chrono::steady_clock::now() - start;
  for (std::size_t i = 0; i < links.size(); ++i) {
    if (links[i]->Finish().exitCode != 0 || radios[i]->Image() != image) return nanoseconds(-1);
  }
  return took;
}

struct Settings {
  std::uint32_t length = 20000;
  int rounds = 7;
  std::uint32_t pacedLength = 20000;
  int pacedRounds = 3;
};

bool ParseSettings(int argc, char** argv, Settings& s) {
  long length = s.length;
  long rounds = s.rounds;
  long pacedLength = s.pacedLength;
  long pacedRounds = s.pacedRounds;
  if (!ParseOptions(argc, argv,
                    {{"--length", 1, IMAGE_CAPACITY, &length},
                     {"--rounds", 1, 1000, &rounds},
                     {"--paced-length", 1, IMAGE_CAPACITY, &pacedLength},
                     {"--paced-rounds", 0, 100, &pacedRounds}})) {
    fprintf(stderr,
            "usage: vannor-bench [--length N] [--rounds N] [--paced-length N] "
            "[--paced-rounds N]\n"
            "  defaults: 20000-byte image, 7 rounds; paced: 20000 bytes, 3 rounds (0: skip)\n");
    return false;
  }
  s.length = static_cast<std::uint32_t>(length);
  s.rounds = static_cast<int>(rounds);
  s.pacedLength = static_cast<std::uint32_t>(pacedLength);
  s.pacedRounds = static_cast<int>(pacedRounds);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  if (!ParseSettings(argc, argv, settings)) return 2;

  char folderPattern[] = "/tmp/vannor-bench-XXXXXX";
  if (mkdtemp(folderPattern) == nullptr) {
    fprintf(stderr, "vannor-bench: cannot make a folder in /tmp\n");
    return 1;
  }
  const std::string folder = folderPattern;
  setenv("XDG_CONFIG_HOME", folder.c_str(), 1);

  const std::vector<std::uint8_t> image = testkit::AllByteValues(settings.length);
  const std::string imagePath = WriteImageFile(folder, image);
  if (imagePath.empty()) {
    fprintf(stderr, "vannor-bench: cannot write the image into %s\n", folder.c_str());
    return 1;
  }
  sim::RadioSimulator radio;
  sim::RadioConfig config;
  config.expectedLength = settings.length;
  if (!radio.Start(config) || !radio.MapPort(folder, 1)) {
    fprintf(stderr, "vannor-bench: cannot start the radio simulator\n");
    return 1;
  }

  // Bare and full rounds alternate, so that both see the same machine.
  std::vector<double> bare;
  std::vector<double> full;
  std::vector<double> cliLink;
  std::vector<double> listenerCpu;
  std::vector<double> processCpu;
  headless::HostCounts counts;
  for (int r = 0; r < settings.rounds; ++r) {
    const nanoseconds b = bench::BareLoop(radio.SlavePath(), image);
    const LinkRound f = HeadlessRound(imagePath, image, radio);
    const nanoseconds c = CliRound(image, {&radio}, 1);
    if (b.count() < 0 || f.took.count() < 0 || c.count() < 0) {
      fprintf(stderr, "vannor-bench: round %d failed (%s)\n", r + 1,
              b.count() < 0 ? "bare loop" : (c.count() < 0 ? "command line" : "full link"));
      return 1;
    }
    cliLink.push_back(Microseconds(c) / settings.length);
    bare.push_back(Microseconds(b) / settings.length);
    full.push_back(Microseconds(f.took) / settings.length);
    listenerCpu.push_back(Microseconds(f.listenerCpu) / settings.length);
    processCpu.push_back(Microseconds(f.processCpu) / settings.length);
    counts = f.counts;
  }
  const double bareUs = Median(bare);
  const double fullUs = Median(full);
  const double n = settings.length;
  printf("Vannor transfer benchmark: pseudo-terminal, %u-byte image, median of %d rounds\n",
         settings.length, settings.rounds);
  printf("1. bare write/read loop:             %8.2f us per byte\n", bareUs);
  printf("2. full link (listener, engine):     %8.2f us per byte (%.2f more)\n", fullUs,
         fullUs - bareUs);
  printf("3. ratio full link / bare loop:      %8.2f   (target 1.5 or less)\n", fullUs / bareUs);
  printf("   command-line link (open to close): %8.2f us per byte, ratio to the bare loop %.2f\n",
         Median(cliLink), Median(cliLink) / bareUs);
  printf("5. per byte: notifications %.3f, pending-count queries %.3f, reads %.3f, writes %.3f\n",
         counts.notifications / n, counts.pendingQueries / n, counts.reads / n, counts.writes / n);
  printf("   CPU per byte: whole process %.2f us, listener %.2f us\n", Median(processCpu),
         Median(listenerCpu));
  fflush(stdout);

  if (settings.pacedRounds > 0) {
    config.expectedLength = settings.pacedLength;
    config.pace38400 = true;
    radio.Reconfigure(config);
    const std::vector<std::uint8_t> paced = testkit::AllByteValues(settings.pacedLength);
    const std::string pacedPath = WriteImageFile(folder, paced);
    std::vector<double> seconds;
    std::vector<double> bareSeconds;
    for (int r = 0; r < settings.pacedRounds; ++r) {
      const nanoseconds b = bench::BareLoop(radio.SlavePath(), paced);
      const LinkRound f = HeadlessRound(pacedPath, paced, radio);
      if (b.count() < 0 || f.took.count() < 0) {
        fprintf(stderr, "vannor-bench: paced round %d failed\n", r + 1);
        return 1;
      }
      bareSeconds.push_back(Microseconds(b) / 1e6);
      seconds.push_back(Microseconds(f.took) / 1e6);
    }
    const double wire = settings.pacedLength * 2 * sim::BYTE_TIME_38400.count() / 1e9;
    printf(
        "4. paced at 38400 baud, %u bytes:  %.3f s against the wire's %.3f s: ratio %.4f "
        "(target 1.05 or less)\n",
        settings.pacedLength, Median(seconds), wire, Median(seconds) / wire);
    printf("   (bare loop on the paced line: %.3f s, ratio %.4f)\n", Median(bareSeconds),
           Median(bareSeconds) / wire);
  }
  if (settings.pacedRounds > 0) {
    // Four radios at once on four paced lines: the wire is the limit of each, so four should
    // take about as long as one.
    std::vector<std::unique_ptr<sim::RadioSimulator>> four;
    std::vector<sim::RadioSimulator*> radios;
    for (int com = 2; com <= 5; ++com) {
      four.push_back(std::make_unique<sim::RadioSimulator>());
      if (!four.back()->Start(config) || !four.back()->MapPort(folder, com)) {
        fprintf(stderr, "vannor-bench: cannot start four radio simulators\n");
        return 1;
      }
      radios.push_back(four.back().get());
    }
    const std::vector<std::uint8_t> paced = testkit::AllByteValues(settings.pacedLength);
    const std::string pacedPath = WriteImageFile(folder, paced);
    std::vector<double> seconds;
    for (int r = 0; r < settings.pacedRounds; ++r) {
      const nanoseconds t = CliRound(paced, radios, 2);
      if (t.count() < 0) {
        fprintf(stderr, "vannor-bench: four-radio round %d failed\n", r + 1);
        return 1;
      }
      seconds.push_back(Microseconds(t) / 1e6);
    }
    const double wire = settings.pacedLength * 2 * sim::BYTE_TIME_38400.count() / 1e9;
    printf(
        "6. four radios at once, paced, %u bytes each (vannor-cli's links): %.3f s against one "
        "radio's wire floor of %.3f s: ratio %.4f (about 1 when they run in parallel)\n",
        settings.pacedLength, Median(seconds), wire, Median(seconds) / wire);
  }
  radio.Stop();
  std::error_code ignored;  // a folder left behind is /tmp's to clean
  std::filesystem::remove_all(folder, ignored);
  return 0;
}
