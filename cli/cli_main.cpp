// vannor-cli: the radio tool's engine, serial line and image checks from a terminal, for scripts
// and for writing several radios at once.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/exit_codes.h"
#include "cli/link_loop.h"
#include "cli/port_commands.h"
#include "cli/progress_view.h"
#include "cli/radio_link.h"
#include "cli/same_device.h"
#include "cli/signal_watch.h"
#include "process/standard_streams.h"
#include "protocol/link_state.h"
#include "protocol/update_request.h"
#include "res/version.h"

namespace vannor::cli {
namespace {

void Report(const LinkOutcome& outcome) {
  if (outcome.exitCode == EXIT_SUCCESS_ALL) {
    std::printf("%s\n", outcome.text.c_str());
    // Results and errors go to two streams; a script that joins them must see them in order.
    std::fflush(stdout);
  } else {
    std::fprintf(stderr, "vannor-cli: %s\n", outcome.text.c_str());
  }
}

// Runs the links in the one loop and reports each; the first failure's code, in the order the
// ports were given, or 130 when a signal ended the run.
int RunAndReport(std::vector<std::unique_ptr<RadioLink>>& links, SignalWatch& signals,
                 LoopWake& wake) {
  std::vector<RadioLink*> running;
  for (auto& link : links) {
    if (!link->Done()) running.push_back(link.get());
  }
  RunLinks(running, signals, wake);
  int exitCode = EXIT_SUCCESS_ALL;
  std::size_t succeeded = 0;
  for (auto& link : links) {
    const LinkOutcome outcome = link->Finish();
    Report(outcome);
    if (outcome.exitCode == EXIT_SUCCESS_ALL) ++succeeded;
    if (exitCode == EXIT_SUCCESS_ALL) exitCode = outcome.exitCode;
  }
  if (signals.Interrupted()) exitCode = EXIT_INTERRUPTED;
  if (links.size() > 1) std::printf("%zu of %zu radios written\n", succeeded, links.size());
  return exitCode;
}

int ReadVersions(const Options& options, SignalWatch& signals) {
  LoopWake wake;
  std::vector<std::unique_ptr<RadioLink>> links;
  links.push_back(std::make_unique<RadioLink>(options.ports[0], options.verbose, wake));
  if (links[0]->Open()) links[0]->StartVersionRead();
  return RunAndReport(links, signals, wake);
}

// Reads and checks the image once, before any port opens: every radio gets the same bytes, and
// a refused image never touches a radio.
bool LoadCheckedImage(const std::string& path, std::vector<std::uint8_t>& image,
                      LinkOutcome& refusal) {
  image.resize(IMAGE_CAPACITY);
  const ChosenImage chosen = LoadChosenImage(path, image.data(), image.size());
  if (!chosen.refusal) {
    image.resize(chosen.length);
    return true;
  }
  refusal.exitCode = EXIT_IMAGE_REFUSED;
  const char* what = *chosen.refusal == ImageRefusal::Size ? "File Size Error" : "File Open Error";
  if (*chosen.refusal == ImageRefusal::NotOut) what = "File Error";
  refusal.text = path + ": " + what + ": " + chosen.problem;
  return false;
}

int Write(const Options& options, SignalWatch& signals) {
  const std::uint8_t mask = SelectionMask(DspChoice{.writeDsp1 = options.writeDsp1,
                                                    .tavix3Dsp1 = options.tavix3Dsp1,
                                                    .writeDsp2 = options.writeDsp2,
                                                    .tavix3Dsp2 = options.tavix3Dsp2});
  if (!DspChosen(mask)) {
    Report({EXIT_USAGE, options.ports[0] + ": DSP Select Error: give --dsp1, --dsp2 or both"});
    return EXIT_USAGE;
  }
  std::vector<std::uint8_t> image;
  LinkOutcome refusal;
  if (!LoadCheckedImage(options.operands[0], image, refusal)) {
    Report(refusal);
    return refusal.exitCode;
  }
  // The trace's lines would be overwritten by the bar's redraws: with it, plain lines.
  ProgressView view(stderr, isatty(STDERR_FILENO) == 1 && !options.verbose, options.ports);
  LoopWake wake;
  std::vector<std::unique_ptr<RadioLink>> links;
  std::vector<std::unique_ptr<ProgressRow>> rows;
  for (std::size_t i = 0; i < options.ports.size(); ++i) {
    links.push_back(std::make_unique<RadioLink>(options.ports[i], options.verbose, wake));
    rows.push_back(
        std::make_unique<ProgressRow>(view, i, static_cast<std::uint32_t>(image.size())));
    links[i]->Follow(*rows[i]);
  }
  for (std::size_t i = 0; i < links.size(); ++i) {
    if (links[i]->Open()) {
      links[i]->StartWrite(mask, image.data(), static_cast<std::uint32_t>(image.size()));
    } else {
      view.Finished(i, false);
    }
  }
  return RunAndReport(links, signals, wake);
}

int UsageError(const std::string& error, Command command) {
  std::fprintf(stderr, "vannor-cli: %s\n%s", error.c_str(), std::string(HelpText(command)).c_str());
  return EXIT_USAGE;
}

int Run(int argc, const char* const* argv, SignalWatch& signals) {
  const ParsedCommandLine parsed = ParseCommandLine(argc, argv);
  const Options& options = parsed.options;
  if (!parsed.error.empty()) return UsageError(parsed.error, options.command);
  if (options.help) {
    std::fputs(std::string(HelpText(options.command)).c_str(), stdout);
    return EXIT_SUCCESS_ALL;
  }
  if (options.showVersion) {
    std::printf("vannor-cli %.*s\n", static_cast<int>(res::FILE_VERSION.size()),
                res::FILE_VERSION.data());
    return EXIT_SUCCESS_ALL;
  }
  // Before any port opens: the second open of one radio would fail against the first.
  const std::string twice = SameDeviceTwice(options.ports);
  if (!twice.empty()) return UsageError(twice, options.command);
  switch (options.command) {
    case Command::Version:
      return ReadVersions(options, signals);
    case Command::Write:
      return Write(options, signals);
    case Command::Ports:
      return ListPorts(stdout);
    case Command::Map:
      return MapPort(options.operands[0], options.operands[1], stdout);
    case Command::Unmap:
      return UnmapPort(options.operands[0], stdout);
    case Command::None:
      break;
  }
  return EXIT_USAGE;
}

}  // namespace

int CheckedExit(int exitCode, std::FILE* out) {
  // A result that never reached its reader is a failure of its own, whatever came before.
  const bool lost = std::fflush(out) != 0 || std::ferror(out) != 0;
  const int error = errno;
  if (!lost) return exitCode;
  std::fprintf(stderr, "vannor-cli: cannot write the output: %s\n",
               error != 0 ? std::strerror(error) : "write error");
  return exitCode > 1 ? exitCode : 1;
}

}  // namespace vannor::cli

int main(int argc, char** argv) {
  // Before anything opens a port or a file: none of them may become standard error.
  vannor::EnsureStandardStreams();
  vannor::cli::SignalWatch signals;
  const int exitCode = vannor::cli::Run(argc, argv, signals);
  return vannor::cli::CheckedExit(exitCode, stdout);
}
