// Where this machine's device nodes and the kernel's view of them live: the system's own folders,
// or a tree of a test's own. Read on Linux only; Windows names its ports itself.
#pragma once

#include <string>

namespace vannor {

struct DeviceRoots {
  std::string dev = "/dev";
  std::string sys = "/sys";
};

}  // namespace vannor
