#include "serial/port_links.h"

#include <unistd.h>

#include <filesystem>

#include "serial/linux/port_link_path.h"
#include "serial/port_names.h"

namespace vannor {

namespace fs = std::filesystem;

namespace {

PortLinkChange Failed(PortLinkFailure failure, const fs::path& where, std::string reason) {
  return PortLinkChange{
      .failure = failure, .where = where.string(), .reason = std::move(reason), .target = {}};
}

PortLinkChange Failed(PortLinkFailure failure, const fs::path& where,
                      const std::error_code& error) {
  return Failed(failure, where, error.message());
}

// The outermost folder on the way to `folder` that does not exist yet; empty when all do.
fs::path FirstMissingFolder(const fs::path& folder) {
  fs::path missing;
  std::error_code error;
  for (fs::path step = folder; step.has_relative_path() && !fs::exists(step, error);
       step = step.parent_path()) {
    missing = step;
  }
  return missing;
}

}  // namespace

PortLinkState PortLinkOf(int index) {
  return PortLinkOf(index, ResolvePort(index));
}

PortLinkState PortLinkOf(int index, const ResolvedPort& port) {
  PortLinkState state;
  state.fallback = BuiltInPortPath(index);
  state.refusal = port.refusal;
  if (!port.refusal.empty()) state.opens = port.path;
  if (port.path.empty() || !port.refusal.empty()) return state;
  std::error_code error;
  state.linked = port.path == PortLinkPath(index);
  // Anything but a link where the link belongs opens as itself.
  state.opens = port.linkTarget.empty() ? port.path : port.linkTarget;
  state.connected = fs::exists(port.Followed(), error);
  return state;
}

PortLinkChange WritePortLink(int index, const std::string& device) {
  const std::string link = PortLinkPath(index);
  if (link.empty()) {
    const std::string refusal = ResolvePort(index).refusal;
    return Failed(PortLinkFailure::NoFolder, fs::path(),
                  refusal.empty() ? "no such port" : refusal);
  }
  if (device.empty()) {
    return Failed(PortLinkFailure::BadDevice, fs::path(),
                  "no device given: name the device to open");
  }
  std::error_code error;
  const fs::path target = fs::absolute(device, error);
  if (error) return Failed(PortLinkFailure::BadDevice, device, error);
  const fs::file_type there = fs::symlink_status(link, error).type();
  if (there != fs::file_type::not_found && there != fs::file_type::symlink) {
    // A file or folder the user put there is theirs, not a link of ours to replace.
    return Failed(PortLinkFailure::NotWritten, link, "not a link; left as it is");
  }
  const fs::path folder = fs::path(link).parent_path();
  const fs::path firstMade = FirstMissingFolder(folder);
  if (!fs::create_directories(folder, error) && error) {
    return Failed(PortLinkFailure::NotWritten, folder, error);
  }
  // Made under a temporary name and renamed over the old link, so that the name never leads
  // nowhere in between; the name is this process's own, so that two maps at once never meet.
  const std::string temporary = link + ".new-" + std::to_string(getpid());
  fs::remove(temporary, error);  // a leftover of an interrupted write, usually none: either is fine
  fs::create_symlink(target, temporary, error);
  if (!error) fs::rename(temporary, link, error);
  if (error) {
    std::error_code ignored;  // the failure above is what the user must hear of
    fs::remove(temporary, ignored);
    // A failed map leaves no folder it made; one that holds something now stays.
    for (fs::path made = folder; !firstMade.empty(); made = made.parent_path()) {
      fs::remove(made, ignored);
      if (made == firstMade) break;
    }
    return Failed(PortLinkFailure::NotWritten, link, error);
  }
  return PortLinkChange{
      .failure = PortLinkFailure::None, .where = {}, .reason = {}, .target = target.string()};
}

PortLinkChange RemovePortLink(int index) {
  const std::string link = PortLinkPath(index);
  std::error_code error;
  const fs::file_type there =
      link.empty() ? fs::file_type::not_found : fs::symlink_status(link, error).type();
  if (there == fs::file_type::not_found) return PortLinkChange{};
  if (there != fs::file_type::symlink) {
    return Failed(PortLinkFailure::NotWritten, link, "not a link; left as it is");
  }
  // A link that has gone in the meantime is as good as removed.
  fs::remove(link, error);
  if (error) return Failed(PortLinkFailure::NotWritten, link, error);
  return PortLinkChange{};
}

}  // namespace vannor
