// vannor-bench: what the link costs per byte against the floor of a bare loop and beside a
// blocking pyserial loop, all on the same pseudo-terminal and radio simulator; how close a paced
// 38400-baud transfer comes to the bare loop's; whether four radios in vannor-cli's one loop
// take the time of one; and what an idle link costs. Every figure stands beside its target.
#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/bare_loop.h"
#include "bench/bench_support.h"
#include "bench/cli_rounds.h"
#include "bench/pyserial_loop.h"
#include "image/sha256.h"
#include "protocol/link_state.h"
#include "tools/radio_sim.h"

namespace {

using namespace vannor;
using namespace vannor::bench;
using std::chrono::nanoseconds;

// The targets the figures are held to.
constexpr double LINK_TO_BARE = 1.15;   // unpaced, per byte
constexpr double PACED_TO_BARE = 1.02;  // paced, the whole transfer
constexpr double FOUR_TO_ONE = 1.02;    // four radios against one, paced
constexpr std::chrono::milliseconds IDLE_SPAN{1000};
// The most port calls of one kind the request's opening may add to the image's own.
constexpr std::uint64_t OPENING_CALLS = 8;

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

// One row's figures over the rounds: the time, and the CPU used by the thread that did the
// work (the bare loop's, the headless host's event thread, vannor-cli's loop, the Python
// process), per byte or per transfer. No CPU is kept for the paced rows.
struct Series {
  std::vector<double> time, cpu;
};

struct Figures {
  Series bare, barePoll, headless, cli, pyserial, four;
};

// The pyserial row of a round, added to `into` divided by `scale`; false when it ran and
// failed. Once it turns out to be missing, `missing` is set and the row is left out of every
// later round.
bool PyserialRow(const std::string& device, const std::string& imagePath,
                 const std::vector<std::uint8_t>& image, const sim::RadioSimulator& radio,
                 double scale, bool keepCpu, Series& into, bool& missing) {
  if (missing) return true;
  const ChildLoop loop = PyserialLoop(device, imagePath);
  if (loop.status == ChildLoop::Status::Missing) {
    missing = true;
    return true;
  }
  if (loop.status != ChildLoop::Status::Done || radio.Image() != image) return false;
  into.time.push_back(Microseconds(loop.took) / scale);
  if (keepCpu) into.cpu.push_back(Microseconds(loop.cpu) / scale);
  return true;
}

// "  name   time unit  [CPU c us]", then what `PrintRatioRow` and `PrintPyserial` add.
void PrintFigure(const char* name, const Series& row, const char* unit) {
  printf("  %-44s %9.3f %s", name, Median(row.time), unit);
  if (!row.cpu.empty()) printf("  CPU %6.2f us", Median(row.cpu));
}

void PrintRatioRow(const char* name, const Series& row, const Series& bare, const char* unit,
                   double limit) {
  const double ratio = PairedRatio(row.time, bare.time);
  PrintFigure(name, row, unit);
  printf("  ratio %.3f %s  target %.2f or less: %s\n", ratio,
         PairedSpread(row.time, bare.time).c_str(), limit, Verdict(ratio <= limit));
}

void PrintPyserial(bool missing, const Series& pyserial, const Series& cli, const Series& bare,
                   const char* unit) {
  const char* name = "blocking pyserial loop (python3-serial)";
  if (missing) {
    printf("  %-44s skipped: %s\n", name, PYSERIAL_MISSING);
    return;
  }
  PrintFigure(name, pyserial, unit);
  printf("  ratio %.3f %s\n", PairedRatio(pyserial.time, bare.time),
         PairedSpread(pyserial.time, bare.time).c_str());
  const double ratio = PairedRatio(cli.time, pyserial.time);
  printf("  %-44s %9s    vannor-cli / pyserial %.3f %s  target below 1: %s\n",
         "vannor-cli against pyserial", "", ratio, PairedSpread(cli.time, pyserial.time).c_str(),
         Verdict(ratio < 1));
}

int Fail(const char* what) {
  fprintf(stderr, "vannor-bench: %s\n", what);
  return 1;
}

bool Failed(const char* what) {
  (void)Fail(what);
  return false;
}

// One row of a round: runs and records its figure; false (having said why) when it failed.
using Row = std::function<bool()>;

// Runs the rows of round `r` one after the other, each round starting one row further on, so
// that no row always comes first after the pause between rounds, or always follows the same one.
bool RunRound(const std::vector<Row>& rows, int r) {
  for (std::size_t k = 0; k < rows.size(); ++k) {
    if (!rows[(k + static_cast<std::size_t>(r)) % rows.size()]()) return false;
  }
  return true;
}

// What the image's SHA-256 adds to its read: the median of a few hashes of a full image.
void PrintHashFigure() {
  const std::vector<std::uint8_t> image = testkit::AllByteValues(IMAGE_CAPACITY);
  std::vector<double> ms;
  for (int round = 0; round < 21; ++round) {
    const auto start = std::chrono::steady_clock::now();
    Sha256 hash;
    hash.Update(image.data(), image.size());
    // Kept, so that the hash is not left out as unused.
    const volatile std::uint8_t first = hash.Finish()[0];
    (void)first;
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    ms.push_back(took.count());
  }
  printf("SHA-256 of a %u-byte image: %.3f ms  target under 2 ms: %s\n\n", IMAGE_CAPACITY,
         Median(ms), Median(ms) < 2.0 ? "met" : "MISSED");
}

int Run(const Settings& settings, const std::string& folder) {
  PrintHashFigure();
  const std::vector<std::uint8_t> image = testkit::AllByteValues(settings.length);
  const std::string imagePath = WriteImageFile(folder, image);
  if (imagePath.empty()) return Fail("cannot write the image into the benchmark's folder");
  sim::RadioSimulator radio;
  sim::RadioConfig config;
  config.expectedLength = settings.length;
  if (!radio.Start(config) || !radio.MapPort(folder, 1)) {
    return Fail("cannot start the radio simulator");
  }

  // The rows of a round run one after the other, so that all of them see the same machine.
  // CliRound and the pyserial loop time opening the port to closing it; the bare loop and the
  // headless link the exchange alone: the difference is well under a microsecond a byte.
  const double n = settings.length;
  Figures perByte;
  std::vector<double> processCpu;
  headless::HostCounts counts;
  bool pyserialMissing = false;
  std::vector<Row> rows = {
      [&] {
        const nanoseconds cpu = ThreadCpu();
        const nanoseconds b = BareLoop(radio.SlavePath(), image);
        perByte.bare.cpu.push_back(Microseconds(ThreadCpu() - cpu) / n);
        perByte.bare.time.push_back(Microseconds(b) / n);
        return b.count() >= 0 || Failed("a bare loop round failed");
      },
      [&] {
        const nanoseconds cpu = ThreadCpu();
        const nanoseconds b = BareLoop(radio.SlavePath(), image, BareWait::Poll);
        perByte.barePoll.cpu.push_back(Microseconds(ThreadCpu() - cpu) / n);
        perByte.barePoll.time.push_back(Microseconds(b) / n);
        return b.count() >= 0 || Failed("a bare poll loop round failed");
      },
      [&] {
        const LinkRound h = HeadlessRound(imagePath, image, radio);
        perByte.headless.time.push_back(Microseconds(h.took) / n);
        perByte.headless.cpu.push_back(Microseconds(h.eventThreadCpu) / n);
        processCpu.push_back(Microseconds(h.processCpu) / n);
        counts = h.counts;
        return h.took.count() >= 0 || Failed("a headless link round failed");
      },
      [&] {
        const nanoseconds cpu = ThreadCpu();
        const nanoseconds c = CliRound(image, {&radio}, 1);
        perByte.cli.cpu.push_back(Microseconds(ThreadCpu() - cpu) / n);
        perByte.cli.time.push_back(Microseconds(c) / n);
        return c.count() >= 0 || Failed("a vannor-cli link round failed");
      },
      [&] {
        return PyserialRow(radio.SlavePath(), imagePath, image, radio, n, true, perByte.pyserial,
                           pyserialMissing) ||
               Failed("a pyserial loop round failed");
      },
  };
  for (int r = 0; r < settings.rounds; ++r) {
    if (!RunRound(rows, r)) return 1;
  }
  printf(
      "Vannor transfer benchmark: pseudo-terminal and radio simulator, %u-byte image, median of "
      "%d rounds.\n  Each round runs every row once, starting one row further on. A ratio is the "
      "median of each round's own,\n  beside [the middle half of them]. CPU: of the thread doing "
      "the work (the Python process for pyserial).\n",
      settings.length, settings.rounds);
  printf("Unpaced, per byte:\n");
  PrintFigure("bare write/read loop (the floor)", perByte.bare, "us");
  printf("\n");
  PrintFigure("bare poll loop (write, poll, pending, read)", perByte.barePoll, "us");
  printf("  ratio %.3f %s\n", PairedRatio(perByte.barePoll.time, perByte.bare.time),
         PairedSpread(perByte.barePoll.time, perByte.bare.time).c_str());
  PrintRatioRow("headless link (the test kit's one poll loop)", perByte.headless, perByte.bare,
                "us", LINK_TO_BARE);
  PrintRatioRow("vannor-cli's link (RadioLink in RunLinks)", perByte.cli, perByte.bare, "us",
                LINK_TO_BARE);
  PrintPyserial(pyserialMissing, perByte.pyserial, perByte.cli, perByte.bare, "us");
  // What the links' own code (engine, line, host) adds to the calls any event loop makes.
  printf("  the links against the bare poll loop: headless %.3f %s, vannor-cli %.3f %s\n",
         PairedRatio(perByte.headless.time, perByte.barePoll.time),
         PairedSpread(perByte.headless.time, perByte.barePoll.time).c_str(),
         PairedRatio(perByte.cli.time, perByte.barePoll.time),
         PairedSpread(perByte.cli.time, perByte.barePoll.time).c_str());
  // One of each per image byte; the request's opening (write request, ENQ, their ACKs) adds a
  // handful.
  const auto once = [&](std::uint64_t count) {
    return count >= settings.length && count <= settings.length + OPENING_CALLS;
  };
  const bool single = once(counts.notifications) && once(counts.pendingQueries) &&
                      once(counts.reads) && once(counts.writes);
  printf(
      "  headless link, per byte: wakes %.3f, pending counts %.3f, reads %.3f, writes %.3f  "
      "target 1 each: %s\n",
      counts.notifications / n, counts.pendingQueries / n, counts.reads / n, counts.writes / n,
      Verdict(single));
  printf("  headless link, CPU per byte of the whole process (simulator included): %.2f us\n",
         Median(processCpu));
  fflush(stdout);

  const IdleRound idle = HeadlessIdle(IDLE_SPAN);
  const nanoseconds cliIdle = CliIdle(1, IDLE_SPAN);
  if (idle.cpu.count() < 0 || cliIdle.count() < 0) return Fail("the idle second failed");
  // A thread that never runs adds nothing at all to its CPU clock.
  printf(
      "Idle %.0f s with the port open: headless event thread %.1f us CPU, %llu wakes; "
      "vannor-cli's loop %.1f us CPU  target 0: %s\n",
      std::chrono::duration<double>(IDLE_SPAN).count(), Microseconds(idle.cpu),
      static_cast<unsigned long long>(idle.wakes), Microseconds(cliIdle),
      Verdict(idle.cpu.count() == 0 && idle.wakes == 0 && cliIdle.count() == 0));
  fflush(stdout);
  if (settings.pacedRounds == 0) return 0;

  config.expectedLength = settings.pacedLength;
  config.pace38400 = true;
  radio.Reconfigure(config);
  // Four more radios on four paced lines for vannor-cli's one loop: the wire is the limit of
  // each, so four should take the time of one.
  std::vector<std::unique_ptr<sim::RadioSimulator>> four;
  std::vector<sim::RadioSimulator*> fourRadios;
  for (int com = 2; com <= 5; ++com) {
    four.push_back(std::make_unique<sim::RadioSimulator>());
    if (!four.back()->Start(config) || !four.back()->MapPort(folder, com)) {
      return Fail("cannot start four more radio simulators");
    }
    fourRadios.push_back(four.back().get());
  }
  const std::vector<std::uint8_t> paced = testkit::AllByteValues(settings.pacedLength);
  const std::string pacedPath = WriteImageFile(folder, paced);
  if (pacedPath.empty()) return Fail("cannot write the paced image");
  Figures seconds;
  std::vector<Row> pacedRows = {
      [&] {
        const nanoseconds b = BareLoop(radio.SlavePath(), paced);
        seconds.bare.time.push_back(Microseconds(b) / 1e6);
        return b.count() >= 0 || Failed("a paced bare loop round failed");
      },
      [&] {
        const LinkRound h = HeadlessRound(pacedPath, paced, radio);
        seconds.headless.time.push_back(Microseconds(h.took) / 1e6);
        return h.took.count() >= 0 || Failed("a paced headless link round failed");
      },
      [&] {
        const nanoseconds c = CliRound(paced, {&radio}, 1);
        seconds.cli.time.push_back(Microseconds(c) / 1e6);
        return c.count() >= 0 || Failed("a paced vannor-cli link round failed");
      },
      [&] {
        const nanoseconds f = CliRound(paced, fourRadios, 2);
        seconds.four.time.push_back(Microseconds(f) / 1e6);
        return f.count() >= 0 || Failed("a four-radio round failed");
      },
      [&] {
        return PyserialRow(radio.SlavePath(), pacedPath, paced, radio, 1e6, false, seconds.pyserial,
                           pyserialMissing) ||
               Failed("a paced pyserial loop round failed");
      },
  };
  for (int r = 0; r < settings.pacedRounds; ++r) {
    if (!RunRound(pacedRows, r)) return 1;
  }
  const double wire = settings.pacedLength * 2 * sim::BYTE_TIME_38400.count() / 1e9;
  const double bareS = Median(seconds.bare.time);
  const double fourToOne = PairedRatio(seconds.four.time, seconds.cli.time);
  printf("Paced at 38400 baud, %u bytes (the wire alone: %.3f s), median of %d rounds:\n",
         settings.pacedLength, wire, settings.pacedRounds);
  printf("  %-44s %9.3f s   %.3f of the wire\n", "bare write/read loop (the floor)", bareS,
         bareS / wire);
  PrintRatioRow("headless link", seconds.headless, seconds.bare, "s ", PACED_TO_BARE);
  PrintRatioRow("vannor-cli's link", seconds.cli, seconds.bare, "s ", PACED_TO_BARE);
  PrintPyserial(pyserialMissing, seconds.pyserial, seconds.cli, seconds.bare, "s ");
  printf("  %-44s %9.3f s   four / one %.3f %s  target %.2f or less: %s\n",
         "four radios in vannor-cli's one loop", Median(seconds.four.time), fourToOne,
         PairedSpread(seconds.four.time, seconds.cli.time).c_str(), FOUR_TO_ONE,
         Verdict(fourToOne <= FOUR_TO_ONE));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  if (!ParseSettings(argc, argv, settings)) return 2;

  char folderPattern[] = "/tmp/vannor-bench-XXXXXX";
  if (mkdtemp(folderPattern) == nullptr) return Fail("cannot make a folder in /tmp");
  const std::string folder = folderPattern;
  // The links find COMn under this folder, where the simulators map their lines. Fails only
  // for want of memory, and then no link finds its port and the run says so.
  (void)setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  const int result = Run(settings, folder);
  std::error_code ignored;  // a folder left behind is /tmp's to clean
  std::filesystem::remove_all(folder, ignored);
  return result;
}
