#include "serial/port_names.h"

#include <sys/stat.h>

#include <cstdlib>

namespace vannor {

namespace {

constexpr std::string_view PORT_NAMES[PORT_COUNT] = {"COM1", "COM2", "COM3", "COM4", "COM5",
                                                     "COM6", "COM7", "COM8", "COM9", "COM10"};

bool ValidIndex(int index) {
  return index >= 0 && index < PORT_COUNT;
}

// The folder that holds the per-user port links, or empty when neither variable gives one.
std::string PortLinkFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  // Relative values are invalid by the base-directory rules and are ignored.
  if (config != nullptr && config[0] == '/') return std::string(config) + "/vannor/ports";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.config/vannor/ports";
  return std::string();
}

}  // namespace

std::string_view PortName(int index) {
  if (!ValidIndex(index)) return std::string_view();
  return PORT_NAMES[index];
}

std::string ResolvePortPath(int index) {
  if (!ValidIndex(index)) return std::string();
  const std::string folder = PortLinkFolder();
  if (!folder.empty()) {
    std::string link = folder + "/" + std::string(PORT_NAMES[index]);
    struct stat entry;
    // lstat, not stat: a link whose target is gone still names the port the user chose.
    if (lstat(link.c_str(), &entry) == 0) return link;
  }
  return "/dev/ttyS" + std::to_string(index);
}

}  // namespace vannor
