#include "image/image_loader.h"

#include "image/image_file.h"

namespace vannor {

std::string_view FileExtension(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

namespace {

// One read of the whole file. `unsure` tells a load whose stamp could hide a write.
LoadResult LoadOnce(const std::string& path, std::uint8_t* buffer, std::size_t capacity,
                    FileStamp& before, bool& unsure) {
  ImageFile file;
  if (!file.Open(path)) {
    if (file.HeldForWriting()) return {LoadOutcome::BeingWritten, 0, {}};
    return {LoadOutcome::OpenFailed, 0, file.Problem()};
  }
  if (!file.Stamp(before)) return {LoadOutcome::OpenFailed, 0, "its size cannot be told"};
  // Checked before anything is read: an empty image cannot be sent and a larger one does not
  // fit the radio's buffer.
  if (before.size <= 0 || static_cast<unsigned long long>(before.size) > capacity) {
    return {LoadOutcome::SizeError, 0, {}};
  }
  std::size_t stored = 0;
  Sha256 hash;
  while (stored < capacity) {
    const long long got = file.ReadSome(buffer + stored, capacity - stored);
    if (got < 0) return {LoadOutcome::ReadFailed, 0, {}};
    if (got == 0) break;
    hash.Update(buffer + stored, static_cast<std::size_t>(got));
    stored += static_cast<std::size_t>(got);
  }
  // One byte more than the buffer holds tells a file that grew past it.
  std::uint8_t beyond;
  const long long extra = stored == capacity ? file.ReadSome(&beyond, 1) : 0;
  if (extra < 0) return {LoadOutcome::ReadFailed, 0, {}};
  // Rewritten in place (even to the same size), or replaced under its name, since it was
  // opened: the bytes read may be half of each version.
  FileStamp after, named;
  if (extra > 0 || stored != static_cast<std::size_t>(before.size) || !file.Stamp(after) ||
      after != before || !ImageFile::StampOf(path, named) || named != before) {
    return {LoadOutcome::Changed, 0, {}};
  }
  // Where the system could not tell whether anyone writes the file, a change just before the
  // open could be a write still under way.
  unsure = !file.WritersRuledOut() && file.ChangedTooRecently(before);
  return {LoadOutcome::Loaded, static_cast<std::uint32_t>(stored), {}, hash.Finish()};
}

}  // namespace

LoadResult LoadImage(const std::string& path, std::uint8_t* buffer, std::size_t capacity) {
  FileStamp stamp;
  bool unsure = false;
  const LoadResult result = LoadOnce(path, buffer, capacity, stamp, unsure);
  // Never waited out: the window's thread must not sleep. The user chooses the file again.
  if (result.outcome == LoadOutcome::Loaded && unsure) return {LoadOutcome::BeingWritten, 0, {}};
  return result;
}

}  // namespace vannor
