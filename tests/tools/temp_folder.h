// A folder of the test's own under /tmp, removed with everything in it at the end.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace vannor::sim::testing {

class TempFolder {
 public:
  TempFolder() {
    char pattern[] = "/tmp/vannor-sim-test-XXXXXX";
    if (mkdtemp(pattern) != nullptr) path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;  // a folder that cannot be removed is left for /tmp's cleaner
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace vannor::sim::testing
