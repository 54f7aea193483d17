// The program's few options, answered before the toolkit starts so that they need no display.
#pragma once

namespace vannor {

// Prints the help or the version, or refuses an argument the program does not take (with the
// usage, status 2). True when the program ends here with `exitStatus`; false when it opens its
// window: no arguments, or only "--".
bool AnswerCommandLine(int argc, const char* const* argv, int& exitStatus);

}  // namespace vannor
