// Descriptors 0, 1 and 2 belong to standard input, output and error. A program started with one
// of them closed would hand that number to the next thing it opens (a serial port, an image, a
// display connection), and its own messages would then go down the serial line (process/linux).
// Windows hands out handles, and a port can never take a closed standard stream's place
// (process/win32 has nothing to do).
#pragma once

namespace vannor {

// Opens the null device onto any of the three that is closed. Call first thing in main.
void EnsureStandardStreams();

}  // namespace vannor
