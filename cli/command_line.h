// What the user asked for on the command line, and the help texts.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vannor::cli {

enum class Command { None, Version, Write, History, Ports, Map, Unmap };

struct Options {
  Command command = Command::None;
  bool help = false;         // --help, for the program or the command
  bool showVersion = false;  // --version of the program
  bool verbose = false;
  std::vector<std::string> ports;  // --port, in the order given
  bool writeDsp1 = false;
  bool tavix3Dsp1 = false;
  bool writeDsp2 = false;
  bool tavix3Dsp2 = false;
  std::vector<std::string> operands;   // IMAGE, or COMn [DEVICE]
  std::optional<std::string> history;  // --history PATH ("-": keep none)
  bool json = false;                   // --json: the records on standard output
  bool csv = false;                    // history --csv: the records as CSV
  // history's choices: --since DATE, --image FILE, --failed, -n N.
  std::string since;
  std::string image;
  bool failed = false;
  std::size_t last = 0;
};

struct ParsedCommandLine {
  Options options;
  std::string error;  // empty when the command line is sound
};

ParsedCommandLine ParseCommandLine(int argc, const char* const* argv);

// The help for the program (Command::None) or one command.
std::string_view HelpText(Command command);

}  // namespace vannor::cli
