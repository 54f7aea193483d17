#include "cli/command_line.h"

#include <string>

#include "cli/port_system.h"
#include "history/history_query.h"

namespace vannor::cli {

namespace {

// The program's help around the parts each system words its own way (port_system.h).
constexpr std::string_view PROGRAM_HELP_HEAD =
    "Usage: vannor-cli COMMAND [OPTIONS]\n"
    "Writes program images into a radio's two DSPs over RS-232 and reads their versions.\n"
    "\n"
    "Commands:\n"
    "  version --port PORT        read the versions of both DSPs (once per run, as in the window)\n"
    "  write --port PORT [--port PORT...] [--dsp1] [--dsp2] [--tavix3-dsp1] [--tavix3-dsp2]\n"
    "        IMAGE.out            write the image into the chosen DSPs of one or more radios\n"
    "  history [--port PORT...] [--since DATE] [--image FILE] [--failed] [-n N] [--csv]\n"
    "                             the requests recorded so far, newest last\n";
constexpr std::string_view PROGRAM_HELP_OPTIONS = "\nOptions:\n";
constexpr std::string_view PROGRAM_HELP_TAIL =
    "  -v, --verbose     trace each exchange on standard error (as VANNOR_DEBUG=1 does)\n"
    "      --json        version, write, history: one JSON object per radio or record on\n"
    "                    standard output, and nothing else there\n"
    "      --history PATH\n"
    "                    the history file to record in and read (default $VANNOR_HISTORY,\n"
    "                    else the user's); \"-\" keeps none\n"
    "  -h, --help        this help, or the help of a command (vannor-cli write --help)\n"
    "  -V, --version     the program's version\n"
    "\n"
    "Exit status:\n"
    "  0    success (every radio, when several ports are given)\n"
    "  1    communication error: NAK, wrong echo, time-out or hang-up\n"
    "  2    usage error, including no DSP chosen to write\n"
    "  3    image refused: extension not .out, size not 1 to 200000 bytes, or unreadable\n"
    "  4    port unusable: missing, no permission, held by another program, not a serial port\n"
    "  130  interrupted (Ctrl-C): the port is closed cleanly; once the write request went\n"
    "       out, the DSP is left unfinished\n";

std::string_view ProgramHelp() {
  // Made once; never changed after.
  static const std::string text =
      std::string(PROGRAM_HELP_HEAD) + std::string(PortHelp().commands) +
      std::string(PROGRAM_HELP_OPTIONS) + std::string(PortHelp().portOption) +
      std::string(PROGRAM_HELP_TAIL);
  return text;
}

constexpr std::string_view VERSION_HELP =
    "Usage: vannor-cli version --port PORT [--verbose] [--json] [--history PATH]\n"
    "Sends the version request and prints both DSPs' versions, as in:\n"
    "  DSP1 V01.03  DSP2 V02.00\n"
    "Each wait for the radio is bounded by 5 seconds. With --json the line is a JSON object\n"
    "with the history's fields instead.\n";

constexpr std::string_view WRITE_HELP =
    "Usage: vannor-cli write --port PORT [--port PORT...] [--dsp1] [--dsp2]\n"
    "                        [--tavix3-dsp1] [--tavix3-dsp2] [--verbose] [--json]\n"
    "                        [--history PATH] IMAGE.out\n"
    "Writes IMAGE.out (1 to 200000 bytes) into DSP1 (--dsp1), DSP2 (--dsp2) or both; the\n"
    "Tavix3 options are handed to the radio with them. At least one of --dsp1 and --dsp2 is\n"
    "needed. Several --port options write the same image into several radios at once, each on\n"
    "its own line; the exit status is 0 only when all of them succeeded.\n"
    "Progress goes to standard error: a bar on a terminal, a line every 10% otherwise. With\n"
    "--json each radio's record is printed on standard output as one JSON object.\n";

constexpr std::string_view HISTORY_HELP =
    "Usage: vannor-cli history [--port PORT...] [--since DATE] [--image FILE] [--failed]\n"
    "                          [-n N] [--json | --csv] [--history PATH]\n"
    "Prints the recorded requests, oldest first: every update and version read of the window\n"
    "and of vannor-cli, with its port, image, SHA-256 and outcome.\n"
    "  --port PORT    only the requests on this port (as it was named); may be repeated\n"
    "  --since DATE   only those from DATE on, UTC: 2026-12-08, 2026-12-08T14:00\n"
    "  --image FILE   only the writes of an image with FILE's content (its SHA-256)\n"
    "  --failed       only the requests that did not succeed\n"
    "  -n N           only the last N of them\n"
    "  --json         the records' lines as they are kept, one JSON object each\n"
    "  --csv          the records as CSV for a spreadsheet: UTF-8 with a byte-order mark, a\n"
    "                 header row, the local time first, then every field of the record; a\n"
    "                 text that begins like a formula (= + - @) gets a leading apostrophe\n";

Command CommandNamed(std::string_view name) {
  if (name == "version") return Command::Version;
  if (name == "write") return Command::Write;
  if (name == "history") return Command::History;
  if (name == "ports") return Command::Ports;
  if (name == "map") return Command::Map;
  if (name == "unmap") return Command::Unmap;
  return Command::None;
}

std::string SinceError() {
  return std::string("--since needs a real date, one of ") + SINCE_FORMS;
}

// How many operands each command takes, at least and at most.
void OperandRange(Command command, std::size_t& least, std::size_t& most) {
  least = most = 0;
  if (command == Command::Write) least = most = 1;
  if (command == Command::Map) least = most = 2;
  if (command == Command::Unmap) least = most = 1;
}

}  // namespace

std::string_view HelpText(Command command) {
  switch (command) {
    case Command::Version:
      return VERSION_HELP;
    case Command::Write:
      return WRITE_HELP;
    case Command::History:
      return HISTORY_HELP;
    case Command::Ports:
      return PortHelp().ports;
    case Command::Map:
      return PortHelp().map;
    case Command::Unmap:
      return PortHelp().unmap;
    case Command::None:
      break;
  }
  return ProgramHelp();
}

ParsedCommandLine ParseCommandLine(int argc, const char* const* argv) {
  ParsedCommandLine parsed;
  Options& o = parsed.options;
  auto fail = [&parsed](std::string error) {
    parsed.error = std::move(error);
    return parsed;
  };
  bool onlyOperands = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (onlyOperands || arg.empty() || arg[0] != '-' || arg == "-") {
      if (o.command == Command::None && !onlyOperands) {
        o.command = CommandNamed(arg);
        if (o.command == Command::None) return fail("unknown command '" + std::string(arg) + "'");
      } else {
        o.operands.emplace_back(arg);
      }
      continue;
    }
    std::string_view name = arg;
    std::string_view value;
    bool hasValue = false;
    if (const std::size_t equals = arg.find('='); arg.starts_with("--") && equals != arg.npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
      hasValue = true;
    }
    const bool takesValue = name == "--port" || name == "-p" || name == "--history" ||
                            name == "--since" || name == "--image" || name == "-n";
    if (hasValue && !takesValue) return fail("option '" + std::string(name) + "' takes no value");
    if (name == "--") {
      onlyOperands = true;
    } else if (name == "--help" || name == "-h") {
      o.help = true;
    } else if (name == "--version" || name == "-V") {
      o.showVersion = true;
    } else if (name == "--verbose" || name == "-v") {
      o.verbose = true;
    } else if (takesValue) {
      const bool port = name == "--port" || name == "-p";
      if (!hasValue) {
        if (i + 1 >= argc) {
          return fail("option '" + std::string(name) + "' needs " + (port ? "a port" : "a value"));
        }
        value = argv[++i];
      }
      if (port && value.empty()) return fail("empty port name");
      if (port) o.ports.emplace_back(value);
      if (name == "--history") o.history = std::string(value);
      if (name == "--since" && value.empty()) return fail(SinceError());
      if (name == "--since") o.since = value;
      if (name == "--image") o.image = value;
      if (name == "-n") {
        o.last = 0;
        for (const char digit : value) {
          if (digit < '0' || digit > '9' || o.last > 100000000) return fail("-n needs a count");
          o.last = o.last * 10 + static_cast<std::size_t>(digit - '0');
        }
        if (o.last == 0) return fail("-n needs a count");
      }
    } else if (name == "--json") {
      o.json = true;
    } else if (name == "--csv") {
      o.csv = true;
    } else if (name == "--failed") {
      o.failed = true;
    } else if (name == "--dsp1") {
      o.writeDsp1 = true;
    } else if (name == "--dsp2") {
      o.writeDsp2 = true;
    } else if (name == "--tavix3-dsp1") {
      o.tavix3Dsp1 = true;
    } else if (name == "--tavix3-dsp2") {
      o.tavix3Dsp2 = true;
    } else {
      return fail("unknown option '" + std::string(arg) + "'");
    }
  }
  if (o.help || o.showVersion) return parsed;
  if (o.command == Command::None) return fail("no command given");
  std::size_t least = 0, most = 0;
  OperandRange(o.command, least, most);
  if (o.operands.size() < least) return fail("too few arguments");
  if (o.operands.size() > most) return fail("unexpected argument '" + o.operands[most] + "'");
  const bool linkCommand = o.command == Command::Version || o.command == Command::Write;
  const bool history = o.command == Command::History;
  if (linkCommand && o.ports.empty()) return fail("--port is required");
  if (!linkCommand && !history && !o.ports.empty()) {
    return fail("--port does not apply to this command");
  }
  if (!linkCommand && !history && (o.json || o.history)) {
    return fail(std::string(o.json ? "--json" : "--history") + " does not apply to this command");
  }
  if (!history && (!o.since.empty() || !o.image.empty() || o.failed || o.last > 0)) {
    return fail("--since, --image, --failed and -n apply to history only");
  }
  if (o.csv && !history) return fail("--csv applies to history only");
  if (o.csv && o.json) return fail("--csv and --json: choose one");
  if (!o.since.empty() && !ValidSince(o.since)) return fail(SinceError());
  if (o.command == Command::Version && o.ports.size() > 1) {
    return fail("version reads one radio: give one --port");
  }
  const bool boxes = o.writeDsp1 || o.writeDsp2 || o.tavix3Dsp1 || o.tavix3Dsp2;
  if (o.command != Command::Write && boxes) return fail("DSP options apply to write only");
  for (std::size_t i = 0; i < o.ports.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (o.ports[i] == o.ports[j]) return fail("port " + o.ports[i] + " is given twice");
    }
  }
  return parsed;
}

}  // namespace vannor::cli
