// vannor-cli: the radio tool's engine, serial line and image checks from a terminal, for scripts
// and for writing several radios at once.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/exit_codes.h"
#include "cli/history_command.h"
#include "cli/image_refusal.h"
#include "cli/link_loop.h"
#include "cli/port_commands.h"
#include "cli/progress_view.h"
#include "cli/radio_link.h"
#include "cli/same_device.h"
#include "cli/signal_watch.h"
#include "history/history_log.h"
#include "process/standard_streams.h"
#include "protocol/link_state.h"
#include "protocol/update_request.h"
#include "res/version.h"

namespace vannor::cli {
namespace {

void Report(const LinkOutcome& outcome, bool json) {
  if (outcome.exitCode != EXIT_SUCCESS_ALL) {
    std::fprintf(stderr, "vannor-cli: %s\n", outcome.text.c_str());
  } else if (!json) {
    std::printf("%s\n", outcome.text.c_str());
  }
  // Results and errors go to two streams; a script that joins them must see them in order.
  std::fflush(stdout);
}

// Each link's record on standard output, in the order the ports were given.
void PrintRecords(const std::vector<std::unique_ptr<RadioLink>>& links) {
  for (const auto& link : links) {
    if (!link->Record().empty()) std::printf("%s\n", link->Record().c_str());
  }
  std::fflush(stdout);
}

// Runs the links in the one loop and reports each; the first failure's code, in the order the
// ports were given, or 130 when a signal ended the run.
int RunAndReport(std::vector<std::unique_ptr<RadioLink>>& links, SignalWatch& signals,
                 LoopWake& wake, bool json) {
  std::vector<RadioLink*> running;
  for (auto& link : links) {
    if (!link->Done()) running.push_back(link.get());
  }
  RunLinks(running, signals, wake);
  int exitCode = EXIT_SUCCESS_ALL;
  std::size_t succeeded = 0;
  for (auto& link : links) {
    const LinkOutcome outcome = link->Finish();
    Report(outcome, json);
    if (outcome.exitCode == EXIT_SUCCESS_ALL) ++succeeded;
    if (exitCode == EXIT_SUCCESS_ALL) exitCode = outcome.exitCode;
  }
  // A signal that came while the last record waited for the history's lock ended that wait.
  if (signals.Interrupted() || signals.Pending(0)) exitCode = EXIT_INTERRUPTED;
  if (links.size() > 1) {
    std::fprintf(json ? stderr : stdout, "%zu of %zu radios written\n", succeeded, links.size());
  }
  if (json) PrintRecords(links);
  return exitCode;
}

std::vector<std::unique_ptr<RadioLink>> MakeLinks(const Options& options, LoopWake& wake,
                                                  HistoryLog& history) {
  std::vector<std::unique_ptr<RadioLink>> links;
  for (const std::string& port : options.ports) {
    links.push_back(std::make_unique<RadioLink>(port, options.verbose, wake, history));
  }
  return links;
}

int ReadVersions(const Options& options, SignalWatch& signals, HistoryLog& history) {
  LoopWake wake;
  std::vector<std::unique_ptr<RadioLink>> links = MakeLinks(options, wake, history);
  links[0]->StartVersionRead();
  return RunAndReport(links, signals, wake, options.json);
}

// A request refused before any port opens: the first radio's line says why, once, and each
// radio's record is kept.
int Refuse(const std::vector<std::unique_ptr<RadioLink>>& links, bool json) {
  const LinkOutcome refusal = links[0]->Finish();
  Report(refusal, json);
  for (std::size_t i = 1; i < links.size(); ++i) (void)links[i]->Finish();
  if (json) PrintRecords(links);
  return refusal.exitCode;
}

int Write(const Options& options, SignalWatch& signals, HistoryLog& history) {
  const std::uint8_t mask = SelectionMask(DspChoice{.writeDsp1 = options.writeDsp1,
                                                    .tavix3Dsp1 = options.tavix3Dsp1,
                                                    .writeDsp2 = options.writeDsp2,
                                                    .tavix3Dsp2 = options.tavix3Dsp2});
  LoopWake wake;
  std::vector<std::unique_ptr<RadioLink>> links = MakeLinks(options, wake, history);
  // Read once, by the first radio's request, and shared: every radio gets the same bytes.
  const std::string& path = options.operands[0];
  const ImageSource image([&path] { return std::optional(path); });
  // The first request checks the DSP choice and the image before its port opens: a refused one
  // never touches a radio, and every radio's record says so.
  links[0]->StartWrite(mask, image);
  if (links[0]->Refused()) {
    for (std::size_t i = 1; i < links.size(); ++i) links[i]->StartWrite(mask, image);
    return Refuse(links, options.json);
  }
  // The trace's lines would be overwritten by the bar's redraws: with it, plain lines.
  const ChosenImage& chosen = image.Image()->chosen;
  ProgressView view(stderr, isatty(STDERR_FILENO) == 1 && !options.verbose, options.ports,
                    chosen.sha256);
  std::vector<std::unique_ptr<ProgressRow>> rows;
  for (std::size_t i = 0; i < links.size(); ++i) {
    rows.push_back(std::make_unique<ProgressRow>(view, i, chosen.length));
    links[i]->Follow(*rows[i]);
  }
  for (std::size_t i = 0; i < links.size(); ++i) {
    if (i > 0) links[i]->StartWrite(mask, image);
    if (links[i]->Done()) view.Finished(i, false);
  }
  return RunAndReport(links, signals, wake, options.json);
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
  if (options.command == Command::History) return ShowHistory(options, signals, stdout);
  // Before any port opens: the second open of one radio would fail against the first.
  const std::string twice = SameDeviceTwice(options.ports);
  if (!twice.empty()) return UsageError(twice, options.command);
  std::string whyNone;
  const std::string path =
      ChosenHistoryPath(options.history ? options.history->c_str() : nullptr, &whyNone);
  HistoryLog history(path, "vannor-cli", std::string(res::FILE_VERSION), stderr,
                     HistoryLog::Writer::Caller, whyNone);
  // A lock another program holds is waited for a bounded time, and a signal ends the wait.
  history.SetPause([&signals](int ms) { return signals.Pending(ms); });
  switch (options.command) {
    case Command::Version:
      return ReadVersions(options, signals, history);
    case Command::Write:
      return Write(options, signals, history);
    case Command::History:
      break;
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
  // A reader that went away (`| head`) wanted no more: a quiet end, as other tools make.
  if (!lost || error == EPIPE) return exitCode;
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
