// vannor-cli: the radio tool's engine, serial line and image checks from a terminal, for scripts
// and for writing several radios at once.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "cli/command_line.h"
#include "cli/exit_codes.h"
#include "cli/interrupt_watch.h"
#include "cli/port_commands.h"
#include "cli/progress_view.h"
#include "cli/radio_link.h"
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

int ReadVersions(const Options& options) {
  RadioLink link(options.ports[0], options.verbose, nullptr, 0);
  InterruptWatch watch([&link] { link.Interrupt(); });
  const LinkOutcome outcome = link.ReadVersions();
  Report(outcome);
  return outcome.exitCode;
}

int Write(const Options& options) {
  const WriteRequest request{.imagePath = options.operands[0],
                             .writeDsp1 = options.writeDsp1,
                             .tavix3Dsp1 = options.tavix3Dsp1,
                             .writeDsp2 = options.writeDsp2,
                             .tavix3Dsp2 = options.tavix3Dsp2};
  ProgressView view(stderr, isatty(STDERR_FILENO) == 1, options.ports);
  std::vector<std::unique_ptr<RadioLink>> links;
  for (std::size_t i = 0; i < options.ports.size(); ++i) {
    links.push_back(std::make_unique<RadioLink>(options.ports[i], options.verbose, &view, i));
  }
  InterruptWatch watch([&links] {
    for (auto& link : links) link->Interrupt();
  });
  std::vector<LinkOutcome> outcomes(links.size());
  {
    std::vector<std::thread> running;
    for (std::size_t i = 1; i < links.size(); ++i) {
      running.emplace_back([&, i] { outcomes[i] = links[i]->Write(request); });
    }
    outcomes[0] = links[0]->Write(request);
    for (std::thread& thread : running) thread.join();
  }
  int exitCode = EXIT_SUCCESS_ALL;
  std::size_t written = 0;
  for (const LinkOutcome& outcome : outcomes) {
    Report(outcome);
    if (outcome.exitCode == EXIT_SUCCESS_ALL) ++written;
    if (exitCode == EXIT_SUCCESS_ALL) exitCode = outcome.exitCode;
  }
  if (watch.Interrupted()) exitCode = EXIT_INTERRUPTED;
  if (links.size() > 1) {
    std::printf("%zu of %zu radios written\n", written, links.size());
  }
  return exitCode;
}

int Run(int argc, const char* const* argv) {
  const ParsedCommandLine parsed = ParseCommandLine(argc, argv);
  const Options& options = parsed.options;
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "vannor-cli: %s\n%s", parsed.error.c_str(),
                 std::string(HelpText(options.command)).c_str());
    return EXIT_USAGE;
  }
  if (options.help) {
    std::fputs(std::string(HelpText(options.command)).c_str(), stdout);
    return EXIT_SUCCESS_ALL;
  }
  if (options.showVersion) {
    std::printf("vannor-cli %.*s\n", static_cast<int>(res::FILE_VERSION.size()),
                res::FILE_VERSION.data());
    return EXIT_SUCCESS_ALL;
  }
  switch (options.command) {
    case Command::Version:
      return ReadVersions(options);
    case Command::Write:
      return Write(options);
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
}  // namespace vannor::cli

int main(int argc, char** argv) {
  return vannor::cli::Run(argc, argv);
}
