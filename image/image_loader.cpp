#include "image/image_loader.h"

#include <string>
#include <utility>

#include "protocol/link_state.h"
#include "protocol/messages.h"

namespace vannor {

ImageStream& ImageStream::operator=(ImageStream&& other) noexcept {
  if (this != &other) {
    Close();
    file_ = other.file_;
    other.file_ = nullptr;
  }
  return *this;
}

void ImageStream::Close() {
  if (file_ == nullptr) return;
  // The file was only read: a failing close loses nothing.
  (void)std::fclose(file_);
  file_ = nullptr;
}

std::string_view FileExtension(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

namespace {

// The size of an open file, or -1 when it cannot be measured (a pipe, a device).
long FileSize(std::FILE* file) {
  if (std::fseek(file, 0, SEEK_END) != 0) return -1;
  const long size = std::ftell(file);
  if (std::fseek(file, 0, SEEK_SET) != 0) return -1;
  return size;
}

ImageSelection Refuse(EngineHost& host, SelectOutcome outcome, std::string_view message) {
  host.ShowMessage(message);
  return {outcome, ImageStream()};
}

}  // namespace

ImageSelection SelectImageFile(EngineHost& host) {
  std::string path;
  if (!host.ChooseImageFile(path)) return {SelectOutcome::Cancelled, ImageStream()};
  if (FileExtension(path) != "out") return Refuse(host, SelectOutcome::Refused, MSG_FILE_ERROR);

  ImageStream stream(std::fopen(path.c_str(), "rb"));
  if (!stream.IsOpen()) return Refuse(host, SelectOutcome::OpenFailed, MSG_FILE_OPEN_ERROR);
  const long size = FileSize(stream.File());
  if (size < 0) return Refuse(host, SelectOutcome::OpenFailed, MSG_FILE_OPEN_ERROR);
  // Checked before any request goes out: an empty image cannot be sent and a larger one does
  // not fit the radio's buffer.
  if (size == 0 || size > static_cast<long>(IMAGE_CAPACITY)) {
    return Refuse(host, SelectOutcome::Refused, MSG_FILE_SIZE_ERROR);
  }
  return {SelectOutcome::Opened, std::move(stream)};
}

LoadOutcome LoadImage(ImageStream& stream) {
  linkState.imageLength = 0;
  std::FILE* file = stream.File();
  if (file == nullptr) return LoadOutcome::ReadFailed;
  // A read error ends the load like the end of the file; it is told apart afterwards.
  linkState.imageLength =
      static_cast<std::uint32_t>(std::fread(linkState.imageBuffer, 1, IMAGE_CAPACITY, file));
  const bool more = std::fgetc(file) != EOF;
  const bool failed = std::ferror(file) != 0;
  stream.Close();
  if (failed) return LoadOutcome::ReadFailed;
  if (more || linkState.imageLength == 0) return LoadOutcome::SizeChanged;
  return LoadOutcome::Loaded;
}

}  // namespace vannor
