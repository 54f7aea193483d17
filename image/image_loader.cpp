#include "image/image_loader.h"

#include "image/image_file.h"

namespace vannor {

std::string_view FileExtension(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

LoadResult LoadImage(const std::string& path, std::uint8_t* buffer, std::size_t capacity) {
  ImageFile file;
  if (!file.Open(path)) return {LoadOutcome::OpenFailed, 0, file.Problem()};
  const long long size = file.Size();
  if (size < 0) return {LoadOutcome::OpenFailed, 0, "its size cannot be told"};
  // Checked before anything is read: an empty image cannot be sent and a larger one does not
  // fit the radio's buffer.
  if (size == 0 || static_cast<unsigned long long>(size) > capacity) {
    return {LoadOutcome::SizeError, 0, {}};
  }
  std::size_t stored = 0;
  while (stored < capacity) {
    const long long got = file.ReadSome(buffer + stored, capacity - stored);
    if (got < 0) return {LoadOutcome::ReadFailed, 0, {}};
    if (got == 0) break;
    stored += static_cast<std::size_t>(got);
  }
  // One byte more than the buffer holds tells a file that grew past it.
  std::uint8_t beyond;
  const long long extra = stored == capacity ? file.ReadSome(&beyond, 1) : 0;
  if (extra < 0) return {LoadOutcome::ReadFailed, 0, {}};
  // A file rewritten since its size was taken is not the file that was checked.
  if (extra > 0 || stored != static_cast<std::size_t>(size)) return {LoadOutcome::SizeError, 0, {}};
  return {LoadOutcome::Loaded, static_cast<std::uint32_t>(stored), {}};
}

}  // namespace vannor
