// A path with the extension "out" that names no regular file, for tests of the image loader's
// refusal: a FIFO (Linux), the NUL device (Windows). Each platform has its own (testing/posix,
// testing/win32).
#pragma once

#include <string>

#include "testing/temp_dir.h"

namespace vannor::testkit {

// Made inside folder where the platform needs a file for it; empty when it could not be made.
std::string MakeNonRegularFile(const TempDir& folder);

}  // namespace vannor::testkit
