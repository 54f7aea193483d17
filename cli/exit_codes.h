// The command line's exit codes, as --help and the manual page list them.
#pragma once

namespace vannor::cli {

inline constexpr int EXIT_SUCCESS_ALL = 0;
inline constexpr int EXIT_COMMUNICATION = 1;       // NAK, wrong echo, time-out, hang-up
inline constexpr int EXIT_HISTORY_UNREADABLE = 1;  // history: a file could not be read
inline constexpr int EXIT_USAGE = 2;
inline constexpr int EXIT_IMAGE_REFUSED = 3;  // extension, size, cannot be read
inline constexpr int EXIT_PORT_UNUSABLE = 4;
inline constexpr int EXIT_INTERRUPTED = 130;

}  // namespace vannor::cli
