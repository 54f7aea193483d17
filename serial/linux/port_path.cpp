#include <sys/stat.h>

#include <cstdlib>

#include "serial/port_names.h"

namespace vannor {

namespace {

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

std::string PortLinkPath(int index) {
  const std::string_view name = PortName(index);
  const std::string folder = PortLinkFolder();
  if (name.empty() || folder.empty()) return std::string();
  return folder + "/" + std::string(name);
}

std::string ResolvePortPath(int index) {
  if (PortName(index).empty()) return std::string();
  const std::string link = PortLinkPath(index);
  struct stat entry;
  // lstat, not stat: a link whose target is gone still names the port the user chose.
  if (!link.empty() && lstat(link.c_str(), &entry) == 0) return link;
  return "/dev/ttyS" + std::to_string(index);
}

std::string ResolveDevice(std::string_view name) {
  const int index = PortIndexOf(name);
  return index >= 0 ? ResolvePortPath(index) : std::string(name);
}

}  // namespace vannor
