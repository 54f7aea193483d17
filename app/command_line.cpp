#include "app/command_line.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <string_view>

#include "res/version.h"

namespace vannor {

namespace {

constexpr std::string_view USAGE = R"(Usage: vannor [OPTION]
Writes program images into the two DSPs of a radio over an RS-232 line (38400 baud,
8N1) and reads their versions. With no option it opens its window.

  -h, --help     show this help and exit
      --version  show the version and exit

"COMn" in the port list opens the device that $XDG_CONFIG_HOME/vannor/ports/COMn
(~/.config/vannor/ports/COMn) links to, else /dev/ttyS<n-1>. More in vannor(1).
)";

constexpr int EXIT_USAGE = 2;

// A help text that did not arrive (a closed pipe, a full disk) must not end as a success.
int Finish(FILE* stream, int status) {
  if (fflush(stream) == 0 && ferror(stream) == 0) return status;
  const int error = errno;
  // Nothing is left to tell it through when standard error fails as well.
  (void)fprintf(stderr, "vannor: cannot write: %s\n", strerror(error));
  return 1;
}

int Answer(FILE* stream, std::string_view text, int status) {
  // A short write shows in the stream's error mark, which Finish looks at.
  (void)fwrite(text.data(), 1, text.size(), stream);
  return Finish(stream, status);
}

int Refuse(std::string_view reason, std::string_view argument) {
  const std::string text =
      "vannor: " + std::string(reason) + " '" + std::string(argument) + "'\n" + std::string(USAGE);
  return Answer(stderr, text, EXIT_USAGE);
}

}  // namespace

bool AnswerCommandLine(int argc, const char* const* argv, int& exitStatus) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "-h" || argument == "--help") {
      exitStatus = Answer(stdout, USAGE, 0);
    } else if (argument == "--version") {
      exitStatus = Answer(stdout, "vannor " + std::string(res::PRODUCT_VERSION) + "\n", 0);
    } else if (argument == "--") {
      if (i + 1 == argc) return false;
      exitStatus = Refuse("unexpected argument", argv[i + 1]);
    } else if (argument.size() > 1 && argument[0] == '-') {
      exitStatus = Refuse("unknown option", argument);
    } else {
      exitStatus = Refuse("unexpected argument", argument);
    }
    return true;
  }
  return false;
}

}  // namespace vannor
