#include "serial/linux/serial_devices.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace vannor {

namespace fs = std::filesystem;

namespace {

// A chain of links longer than this is a loop, not a device.
constexpr int MOST_LINK_STEPS = 8;

// The first line of a small sysfs file, without trailing blanks; empty when it cannot be read.
std::string FirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  if (!std::getline(in, line)) return std::string();
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
  return line;
}

// The number a sysfs file holds; -1 when it holds none.
int NumberIn(const fs::path& file) {
  const std::string text = FirstLine(file);
  int value = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && !text.empty() ? value : -1;
}

fs::path TtyClass(const DeviceRoots& roots, const std::string& name) {
  return fs::path(roots.sys) / "class" / "tty" / name;
}

bool KernelKnowsTty(const DeviceRoots& roots, const std::string& name) {
  std::error_code error;
  return !name.empty() && name != "." && name != ".." && fs::exists(TtyClass(roots, name), error);
}

// Follows `path` one link at a time until its name is a tty the kernel knows (udev's by-id links
// name "../../ttyUSB0"); empty when it leads to none.
fs::path NodeBehind(const fs::path& path, const DeviceRoots& roots) {
  fs::path at = path;
  for (int step = 0; step <= MOST_LINK_STEPS; ++step) {
    if (KernelKnowsTty(roots, at.filename().string())) return at;
    std::error_code error;
    const fs::path target = fs::read_symlink(at, error);
    if (error) return fs::path();
    at = (at.parent_path() / target).lexically_normal();
  }
  return fs::path();
}

// The tty's device folder and its parents, nearest first, never above the sysfs root: a tree of
// a test's own must not reach into the machine's.
std::vector<fs::path> DeviceChain(const DeviceRoots& roots, const std::string& name) {
  std::vector<fs::path> chain;
  std::error_code error;
  const fs::path top = fs::canonical(roots.sys, error);
  if (error) return chain;
  fs::path at = fs::canonical(TtyClass(roots, name) / "device", error);
  if (error) return chain;
  const std::string inside = top.string() + "/";
  while (at.string().starts_with(inside)) {
    chain.push_back(at);
    at = at.parent_path();
  }
  return chain;
}

std::string DriverOf(const std::vector<fs::path>& chain) {
  for (const fs::path& folder : chain) {
    std::error_code error;
    const fs::path driver = fs::read_symlink(folder / "driver", error);
    if (error) continue;
    // Newer kernels put serial-base "port" and "ctrl" devices between a UART and its driver.
    if (driver.parent_path().parent_path().filename() == "serial-base") continue;
    return driver.filename().string();
  }
  return std::string();
}

// The strings of the USB device the tty belongs to, if it belongs to one.
void ReadUsbStrings(const std::vector<fs::path>& chain, SerialDevice& device) {
  for (const fs::path& folder : chain) {
    const std::string vendor = FirstLine(folder / "idVendor");
    if (vendor.empty()) continue;
    device.maker = FirstLine(folder / "manufacturer");
    device.product = FirstLine(folder / "product");
    if (device.product.empty()) {
      device.product = "USB device " + vendor + ":" + FirstLine(folder / "idProduct");
    }
    device.serialNumber = FirstLine(folder / "serial");
    return;
  }
}

bool IsConsole(const DeviceRoots& roots, const std::string& name) {
  std::istringstream active(FirstLine(TtyClass(roots, "console") / "active"));
  std::string word;
  while (active >> word) {
    if (word == name) return true;
  }
  return false;
}

SerialDevice Identify(const fs::path& path, const fs::path& node, const DeviceRoots& roots) {
  SerialDevice device;
  device.path = path.string();
  device.node = node.empty() ? device.path : node.string();
  if (node.empty()) return device;
  const std::string name = node.filename().string();
  const std::vector<fs::path> chain = DeviceChain(roots, name);
  device.driver = DriverOf(chain);
  ReadUsbStrings(chain, device);
  if (!chain.empty()) device.latencyTimerMs = NumberIn(chain.front() / "latency_timer");
  device.rxTriggerBytes = NumberIn(TtyClass(roots, name) / "rx_trig_bytes");
  device.console = IsConsole(roots, name);
  return device;
}

// A node worth offering: the kernel ties it to hardware (virtual consoles and pseudo-terminals
// have no device), and a UART's port type is not 0, which it is where nothing answers.
bool HasHardware(const DeviceRoots& roots, const std::string& name) {
  std::error_code error;
  const fs::path tty = TtyClass(roots, name);
  if (!fs::exists(tty / "device", error)) return false;
  return !fs::exists(tty / "type", error) || NumberIn(tty / "type") > 0;
}

// "ttyS2" before "ttyS10": the name's stem, then its number.
bool NaturalLess(const std::string& a, const std::string& b) {
  auto split = [](const std::string& name) {
    std::size_t stem = name.size();
    while (stem > 0 && std::isdigit(static_cast<unsigned char>(name[stem - 1]))) --stem;
    long number = -1;  // none sorts first; a number too long for it stays -1 as well
    (void)std::from_chars(name.data() + stem, name.data() + name.size(), number);
    return std::pair(name.substr(0, stem), number);
  };
  return split(a) < split(b);
}

std::vector<fs::path> SortedEntries(const fs::path& folder) {
  std::vector<fs::path> entries;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    entries.push_back(entry.path());
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

}  // namespace

std::vector<SerialDevice> FindSerialDevices(const DeviceRoots& roots) {
  std::vector<SerialDevice> found;
  std::set<std::string> reached;
  for (const fs::path& name : SortedEntries(fs::path(roots.dev) / "serial" / "by-id")) {
    const fs::path node = NodeBehind(name, roots);
    found.push_back(Identify(name, node, roots));
    if (!node.empty()) reached.insert(node.filename().string());
  }
  std::vector<std::string> nodes;
  for (const fs::path& entry : SortedEntries(roots.dev)) {
    const std::string name = entry.filename().string();
    if (name.starts_with("tty") && !reached.contains(name) && HasHardware(roots, name)) {
      nodes.push_back(name);
    }
  }
  std::sort(nodes.begin(), nodes.end(), NaturalLess);
  for (const std::string& name : nodes) {
    const fs::path node = fs::path(roots.dev) / name;
    found.push_back(Identify(node, node, roots));
  }
  return found;
}

SerialDevice IdentifyDevice(const std::string& path, const DeviceRoots& roots) {
  return Identify(path, NodeBehind(path, roots), roots);
}

std::string DescribeDevice(const SerialDevice& device) {
  std::vector<std::string> parts;
  std::string name = device.product;
  // Many adapters repeat their maker in the product string.
  if (!device.maker.empty() && !device.product.starts_with(device.maker)) {
    name = device.maker + (name.empty() ? "" : " " + name);
  }
  if (!name.empty()) parts.push_back(name);
  if (!device.serialNumber.empty()) parts.push_back("serial number " + device.serialNumber);
  if (device.latencyTimerMs >= 0) {
    parts.push_back("latency timer " + std::to_string(device.latencyTimerMs) + " ms");
  }
  if (device.rxTriggerBytes >= 0) {
    parts.push_back("receive trigger " + std::to_string(device.rxTriggerBytes) + " bytes");
  }
  if (device.console) parts.push_back("the system console");
  std::string text = device.driver;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    text += (i == 0 ? (text.empty() ? "" : ": ") : ", ") + parts[i];
  }
  return text;
}

}  // namespace vannor
