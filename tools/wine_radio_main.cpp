// vannor-wine-radio: the radio simulator on the far end of a COM port of a Wine prefix, for the
// Windows build's tests and demo. Maps COMn of the prefix to the simulator's pseudo-terminal,
// runs a Windows program there, and afterwards compares what the radio received with an image.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tools/radio_report.h"
#include "tools/radio_sim.h"
#include "tools/sim_options.h"

extern char** environ;

namespace {

using vannor::sim::RadioRecord;
using vannor::sim::RadioSimulator;

constexpr std::string_view USAGE =
    R"(Usage: vannor-wine-radio --wine-dir DIR [OPTION]... [RADIO OPTION]... -- PROGRAM [ARGUMENT]...
Plays the radio on a pseudo-terminal that COMn of the Wine prefix in DIR (made by
scripts/wine-prefix.sh) leads to, and runs the Windows PROGRAM there with DIR/wine. PROGRAM
finds a folder it shares with this program in the environment variable
VANNOR_RADIO_FOLDER, as a Windows path.

  --wine-dir DIR      the prefix's folder (its wine and map-port commands)
  --check-image NAME  once PROGRAM has ended, the image each radio received must equal the
                      file NAME in the shared folder (or NAME itself when it is an absolute
                      path), with no protocol error or stray byte
  --check-mask N      and the write request must have carried the mask N
  --timeout S         end PROGRAM after S seconds (default 90)
  --interrupt-after N send PROGRAM SIGINT (Wine's Ctrl-C) once the radios have received N bytes
  --report            tell what the radio sees while PROGRAM runs, as vannor-radio-sim does
  --com N             the port, COM1 to COM255 (default 1)
  --radios N          N radios alike, on COMn and the ports after it (default 1)
  RADIO OPTION        as for vannor-radio-sim (--length, --dsp-version, --hang-up-at, ...)

Exit status: PROGRAM's, else 1 when the image does not match, 2 on a usage error, 3 when
the radio or the port mapping could not be set up.
)";

struct Options {
  std::string wineDir;
  std::string checkImage;
  int checkMask = -1;
  int timeoutSeconds = 90;
  long long interruptAfter = -1;
  int radios = 1;
  int com = 1;
  bool report = false;
  vannor::sim::SimOptions sim;
  std::vector<std::string> program;
};

bool Parse(int argc, char** argv, Options& options, std::string& error) {
  std::vector<const char*> simArgs = {argv[0]};
  int i = 1;
  for (; i < argc && std::string_view(argv[i]) != "--"; ++i) {
    const std::string_view name = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (name == "--wine-dir" || name == "--check-image" || name == "--check-mask" ||
        name == "--timeout" || name == "--interrupt-after" || name == "--radios" ||
        name == "--com") {
      if (value == nullptr) {
        error = "option '" + std::string(name) + "' needs a value";
        return false;
      }
      if (name == "--wine-dir") options.wineDir = value;
      if (name == "--check-image") options.checkImage = value;
      if (name == "--check-mask") options.checkMask = std::atoi(value);
      if (name == "--timeout") options.timeoutSeconds = std::atoi(value);
      if (name == "--interrupt-after") options.interruptAfter = std::atoll(value);
      if (name == "--radios") options.radios = std::atoi(value);
      // Any port of the prefix, beyond the list's ten (an adapter at COM17).
      if (name == "--com") options.com = std::atoi(value);
      ++i;
    } else if (name == "--report") {
      options.report = true;
    } else if (name == "--device" || name == "--config-home" || name == "--no-map") {
      error = "'" + std::string(name) + "' has no meaning here: the port is the prefix's";
      return false;
    } else {
      simArgs.push_back(argv[i]);
    }
  }
  for (++i; i < argc; ++i) options.program.emplace_back(argv[i]);
  if (!vannor::sim::ParseSimOptions(static_cast<int>(simArgs.size()), simArgs.data(), options.sim,
                                    error)) {
    return false;
  }
  options.sim.comNumber = options.com;
  if (options.wineDir.empty() || options.program.empty() || options.timeoutSeconds <= 0 ||
      options.radios < 1 || options.com < 1 || options.com + options.radios - 1 > 255) {
    error = "needs --wine-dir DIR, a positive --timeout, radios on COM1 to COM255 and -- PROGRAM";
    return false;
  }
  return true;
}

// Wine's serial code leaves parts of the terminal's cooked mode in place (echo among them),
// which no Windows port has; the slave is made raw before the program opens it.
bool MakeRaw(const std::string& slave) {
  const int fd = open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  termios line;
  bool ok = tcgetattr(fd, &line) == 0;
  if (ok) {
    cfmakeraw(&line);
    ok = tcsetattr(fd, TCSANOW, &line) == 0;
  }
  // The simulator keeps the slave open itself, so the settings outlive this descriptor.
  (void)close(fd);  // nothing was written through it
  return ok;
}

// Runs argv to its end, calling watch with its process id about every 20 ms meanwhile; -1 when
// it could not start or did not exit by itself.
int Run(std::vector<std::string> argv, int timeoutSeconds,
        const std::function<void(pid_t)>& watch = nullptr) {
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) return -1;
    if (std::chrono::steady_clock::now() > giveUp) {
      fprintf(stderr, "vannor-wine-radio: %s did not end within %d s\n", argv[1].c_str(),
              timeoutSeconds);
      (void)kill(pid, SIGKILL);  // ours; already gone is fine too
      (void)waitpid(pid, &status, 0);
      return -1;
    }
    if (watch) watch(pid);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string DosPath(const std::string& unixPath) {
  // Wine's drive Z: is the root of the file system.
  std::string dos = "Z:" + unixPath;
  for (char& c : dos) {
    if (c == '/') c = '\\';
  }
  return dos;
}

bool CheckImage(const RadioSimulator& radio, const std::string& file, int mask) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    fprintf(stderr, "vannor-wine-radio: the program left no %s\n", file.c_str());
    return false;
  }
  const std::vector<std::uint8_t> expected((std::istreambuf_iterator<char>(in)),
                                           std::istreambuf_iterator<char>());
  if (!radio.WaitImageOver(std::chrono::seconds(5))) {
    fprintf(stderr, "vannor-wine-radio: the image was not over\n");
    return false;
  }
  const RadioRecord record = radio.Record();
  const std::vector<std::uint8_t> got = radio.Image();
  bool ok = got == expected && record.protocolErrors == 0 && record.strayBytes == 0 &&
            (mask < 0 || record.mask == mask);
  if (!ok) {
    std::size_t first = 0;
    while (first < got.size() && first < expected.size() && got[first] == expected[first]) {
      ++first;
    }
    fprintf(stderr,
            "vannor-wine-radio: the radio received %zu image bytes, %zu expected, first "
            "difference at %zu; %u protocol errors, %u stray bytes; mask 0x%02X\n",
            got.size(), expected.size(), first, record.protocolErrors, record.strayBytes,
            record.mask);
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::string error;
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    fwrite(USAGE.data(), 1, USAGE.size(), stdout);
    return 0;
  }
  if (!Parse(argc, argv, options, error)) {
    fprintf(stderr, "vannor-wine-radio: %s\nTry 'vannor-wine-radio --help'.\n", error.c_str());
    return 2;
  }

  char folderTemplate[] = "/tmp/vannor-wine-XXXXXX";
  if (mkdtemp(folderTemplate) == nullptr) {
    fprintf(stderr, "vannor-wine-radio: cannot make a shared folder\n");
    return 3;
  }
  const std::string folder = folderTemplate;
  // Ignored: setenv fails only without memory, and the program then finds no folder.
  (void)setenv("VANNOR_RADIO_FOLDER", DosPath(folder).c_str(), 1);

  std::vector<std::unique_ptr<RadioSimulator>> radios;
  std::vector<std::string> coms;
  int status = 3;
  bool ready = true;
  for (int i = 0; i < options.radios && ready; ++i) {
    radios.push_back(std::make_unique<RadioSimulator>());
    coms.push_back("COM" + std::to_string(options.sim.comNumber + i));
    RadioSimulator& radio = *radios.back();
    if (!radio.Start(options.sim.radio) || !MakeRaw(radio.SlavePath())) {
      fprintf(stderr, "vannor-wine-radio: cannot open a pseudo-terminal\n");
      ready = false;
    } else if (Run({options.wineDir + "/map-port", coms.back(), radio.SlavePath()}, 60) != 0) {
      fprintf(stderr, "vannor-wine-radio: cannot map %s in %s\n", coms.back().c_str(),
              options.wineDir.c_str());
      ready = false;
    }
  }
  if (ready) {
    std::vector<std::string> command = {options.wineDir + "/wine"};
    command.insert(command.end(), options.program.begin(), options.program.end());
    RadioRecord seen = radios[0]->Record();
    std::uint32_t endSeen = 0;
    std::vector<std::uint8_t> ended;
    bool interrupted = false;
    status = Run(command, options.timeoutSeconds, [&](pid_t program) {
      if (options.interruptAfter >= 0 && !interrupted) {
        unsigned long long received = 0;
        for (const auto& radio : radios) received += radio->Record().bytesReceived;
        if (received >= static_cast<unsigned long long>(options.interruptAfter)) {
          interrupted = true;
          (void)kill(program, SIGINT);  // ours; one that has just ended is fine too
        }
      }
      if (!options.report) return;
      const RadioRecord now = radios[0]->Record();
      const vannor::sim::EndedImage end = radios[0]->LatestEndedImage(ended);
      vannor::sim::ReportChanges(seen, now, end.writeRequest != endSeen ? &end : nullptr);
      endSeen = end.writeRequest;
      seen = now;
    });
    if (status < 0) status = 1;
    const std::string image = options.checkImage.starts_with("/")
                                  ? options.checkImage
                                  : folder + "/" + options.checkImage;
    for (const auto& radio : radios) {
      if (status == 0 && !options.checkImage.empty() &&
          !CheckImage(*radio, image, options.checkMask)) {
        status = 1;
      }
    }
  }
  for (std::size_t i = 0; i < radios.size(); ++i) {
    // The pseudo-terminal's name is handed out again once it is gone: the port must not lead
    // to whatever terminal gets it next.
    if (i < coms.size() &&
        Run({options.wineDir + "/map-port", coms[i], options.wineDir + "/ports/unplugged"}, 60) !=
            0) {
      fprintf(stderr, "vannor-wine-radio: cannot unmap %s\n", coms[i].c_str());
    }
    const RadioRecord record = radios[i]->Record();
    radios[i]->Stop();
    fprintf(stderr,
            "vannor-wine-radio: %s: %u version reads, %u image writes (mask 0x%02X, %u bytes), "
            "%llu bytes in, %llu out%s\n",
            coms[i].c_str(), record.versionRequests, record.writeRequests, record.mask,
            record.imageLength, static_cast<unsigned long long>(record.bytesReceived),
            static_cast<unsigned long long>(record.bytesSent), record.hungUp ? ", hung up" : "");
  }
  std::error_code ignored;  // a leftover folder in /tmp is harmless
  std::filesystem::remove_all(folder, ignored);
  return status;
}
