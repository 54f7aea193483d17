#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "serial/linux/port_link_path.h"
#include "serial/port_names.h"

namespace vannor {

namespace {

// Where the links would be if the user had a home folder, for the refusal that there is none.
constexpr const char* LINKS_UNDER_NO_HOME = "~/.config/vannor/ports";
constexpr const char* NO_HOME =
    "no home folder: neither XDG_CONFIG_HOME nor HOME names one, and the password database "
    "has none for this user";

// The user's home folder as every program finds it: HOME, else the password database's entry
// for the user; empty when neither names one.
std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  // Relative values are invalid, here as by the base-directory rules, and are ignored.
  if (home != nullptr && home[0] == '/') return home;
  passwd entry{};
  passwd* found = nullptr;
  char strings[4096];
  // A failed look-up (no entry, an unreachable directory service) leaves no home.
  if (getpwuid_r(getuid(), &entry, strings, sizeof strings, &found) != 0 || found == nullptr ||
      found->pw_dir == nullptr || found->pw_dir[0] != '/') {
    return std::string();
  }
  return found->pw_dir;
}

// The folder that holds the per-user port links, or empty when the user has no home folder.
std::string PortLinkFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::string(config) + "/vannor/ports";
  const std::string home = HomeFolder();
  return home.empty() ? home : home + "/.config/vannor/ports";
}

// Where the symbolic link at path points, as it reads; empty when path is no link (or the link
// cannot be read, which the open then tells).
std::string LinkTarget(const std::string& path) {
  char target[4096];
  const ssize_t length = readlink(path.c_str(), target, sizeof target);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target) return std::string();
  return std::string(target, static_cast<std::size_t>(length));
}

// For a name written as a port ("COM<n>" in any case) that names no file here: the list index
// it means ("com1" is COM1, as on Windows), or -1 for a number outside the list. -2 for any
// other name, which is a device's path.
int PortNumberWithoutFile(std::string_view name) {
  if (name.size() < 4 || (name[0] | 0x20) != 'c' || (name[1] | 0x20) != 'o' ||
      (name[2] | 0x20) != 'm') {
    return -2;
  }
  int number = 0;
  for (const char digit : name.substr(3)) {
    if (digit < '0' || digit > '9') return -2;
    number = number < 1000 ? number * 10 + (digit - '0') : number;
  }
  struct stat file;
  if (lstat(std::string(name).c_str(), &file) == 0) return -2;
  // "COM01" is not how any port is written.
  return name[3] != '0' && number >= 1 && number <= PORT_COUNT ? number - 1 : -1;
}

}  // namespace

std::string PortLinkPath(int index) {
  const std::string_view name = PortName(index);
  const std::string folder = PortLinkFolder();
  if (name.empty() || folder.empty()) return std::string();
  return folder + "/" + std::string(name);
}

ResolvedPort ResolvePort(int index) {
  if (PortName(index).empty()) return ResolvedPort{};
  const std::string link = PortLinkPath(index);
  // Without a home folder no one can tell whether the user linked the name elsewhere.
  if (link.empty()) {
    return ResolvedPort{.path = LINKS_UNDER_NO_HOME, .linkTarget = {}, .refusal = NO_HOME};
  }
  struct stat entry;
  // lstat, not stat: a link whose target is gone still names the port the user chose.
  if (lstat(link.c_str(), &entry) == 0) {
    return ResolvedPort{.path = link, .linkTarget = LinkTarget(link), .refusal = {}};
  }
  const int error = errno;
  // Anything but absence (no permission, a file where a folder belongs, a loop, an I/O
  // error) may hide a link to the radio's adapter: the built-in port would be another device.
  if (error != ENOENT) {
    return ResolvedPort{
        .path = PortLinkFolder(), .linkTarget = {}, .refusal = std::strerror(error)};
  }
  return ResolvedPort{.path = BuiltInPortPath(index), .linkTarget = {}, .refusal = {}};
}

std::string BuiltInPortPath(int index) {
  if (PortName(index).empty()) return std::string();
  return "/dev/ttyS" + std::to_string(index);
}

ResolvedPort ResolvePortName(std::string_view name) {
  const int index = PortIndexOf(name);
  if (index >= 0) return ResolvePort(index);
  const int meant = PortNumberWithoutFile(name);
  if (meant >= 0) return ResolvePort(meant);
  const std::string path(name);
  if (meant == -1) {
    return ResolvedPort{
        .path = path,
        .linkTarget = {},
        .refusal = "no such port; the ports are COM1 to COM10, or give a device's path"};
  }
  return ResolvedPort{.path = path, .linkTarget = LinkTarget(path), .refusal = {}};
}

std::string DeviceKey(const std::string& path) {
  struct stat device;
  // Missing now: nothing to compare; the open tells why it fails.
  if (path.empty() || stat(path.c_str(), &device) != 0) return std::string();
  // Two nodes of one device (a copy made with mknod) open the same line.
  if (S_ISCHR(device.st_mode) || S_ISBLK(device.st_mode)) {
    return "device " + std::to_string(device.st_rdev);
  }
  return "file " + std::to_string(device.st_dev) + ":" + std::to_string(device.st_ino);
}

}  // namespace vannor
