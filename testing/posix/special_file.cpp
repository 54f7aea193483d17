#include "testing/special_file.h"

#include <sys/stat.h>

namespace vannor::testkit {

std::string MakeNonRegularFile(const TempDir& folder) {
  const std::string path = folder.Path() + "/fifo.out";
  return mkfifo(path.c_str(), 0600) == 0 ? path : std::string();
}

}  // namespace vannor::testkit
