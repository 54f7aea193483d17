#include "tools/port_map.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vannor::sim {

namespace {

bool MakeFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

bool ReadLink(const std::string& path, std::string& target) {
  char buffer[PATH_MAX];
  const ssize_t length = readlink(path.c_str(), buffer, sizeof buffer);
  if (length < 0 || static_cast<std::size_t>(length) >= sizeof buffer) return false;
  target.assign(buffer, static_cast<std::size_t>(length));
  return true;
}

// Whoever opens the link meanwhile finds the old target or the new one, never nothing.
bool ReplaceLink(const std::string& path, const std::string& target) {
  const std::string temporary = path + ".new." + std::to_string(getpid());
  // A leftover of an interrupted earlier run may stand there; if not, there is nothing to remove.
  unlink(temporary.c_str());
  if (symlink(target.c_str(), temporary.c_str()) != 0) return false;
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());  // best effort: the mapping has failed either way
    return false;
  }
  return true;
}

}  // namespace

bool MapPortLink(const std::string& configHome, int comNumber, const std::string& target,
                 PortMapping& mapping) {
  if (comNumber < 1 || comNumber > 10 || configHome.empty() || target.empty()) return false;
  const std::string folder = configHome + "/vannor/ports";
  const std::string link = folder + "/COM" + std::to_string(comNumber);
  if (mapping.linkPath == link) {
    if (!ReplaceLink(link, target)) return false;
    mapping.target = target;
    return true;
  }
  UnmapPortLink(mapping);
  if (!MakeFolders(folder)) return false;

  PortMapping fresh;
  struct stat status;
  if (lstat(link.c_str(), &status) == 0) {
    if (!S_ISLNK(status.st_mode)) return false;  // a file of the user's: not ours to replace
    fresh.hadPrevious = ReadLink(link, fresh.previousTarget);
  } else if (errno != ENOENT) {
    return false;
  }
  if (!ReplaceLink(link, target)) return false;
  fresh.linkPath = link;
  fresh.target = target;
  mapping = fresh;
  return true;
}

void UnmapPortLink(PortMapping& mapping) {
  if (mapping.linkPath.empty()) return;
  std::string current;
  // Someone may have pointed the link elsewhere since; then it is theirs and stays.
  if (ReadLink(mapping.linkPath, current) && current == mapping.target) {
    if (mapping.hadPrevious) {
      // If this fails the link keeps naming a line that is gone, which the tool reports as a
      // port that does not open; nothing better can be done here.
      ReplaceLink(mapping.linkPath, mapping.previousTarget);
    } else {
      unlink(mapping.linkPath.c_str());  // fails only if it vanished meanwhile: then it is gone
    }
  }
  mapping = PortMapping{};
}

std::string DefaultConfigHome() {
  const char* xdg = getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.config";
  return {};
}

}  // namespace vannor::sim
