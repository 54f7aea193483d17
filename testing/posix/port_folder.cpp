#include <filesystem>

#include "serial/port_names.h"
#include "testing/window_test_support.h"

namespace vannor::uitest {

PortFolder::PortFolder() {
  if (folder.Path().empty()) return;
  const std::filesystem::path ports = std::filesystem::path(folder.Path()) / "vannor" / "ports";
  std::error_code error;
  std::filesystem::create_directories(ports, error);
  if (error) return;
  for (int index = 0; index < PORT_COUNT; ++index) {
    // A dangling link: the port is there by name and fails to open.
    std::filesystem::create_symlink(folder.Path() + "/absent-device",
                                    ports / std::string(PortName(index)), error);
    if (error) return;
  }
  ready = true;
}

PortFolder::~PortFolder() = default;

}  // namespace vannor::uitest
