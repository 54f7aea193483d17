#include "testing/special_file.h"

namespace vannor::testkit {

std::string MakeNonRegularFile(const TempDir& folder) {
  // "NUL" with any extension, in any folder, is the null device: a file the user can pick by
  // name that is no file.
  return folder.Path().empty() ? std::string() : folder.Path() + "\\nul.out";
}

}  // namespace vannor::testkit
