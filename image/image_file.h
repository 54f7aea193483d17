// An image file opened for reading, through one handle from the size check to the last byte, so
// that what is loaded is one version of the file. Each platform implements it in a file of its
// own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vannor {

class ImageFile {
 public:
  ImageFile() = default;
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;
  ~ImageFile();

  // Opens a regular file without ever blocking: a FIFO, a device or a folder is refused.
  bool Open(const std::string& path);
  // Why the last Open failed: "not a regular file", or the system's words.
  const std::string& Problem() const { return problem_; }
  // The size the file has now; negative when it cannot be told.
  long long Size();
  // Reads at most count bytes; the number read, 0 at the end, negative on an error.
  long long ReadSome(std::uint8_t* buffer, std::size_t count);

 private:
  int fd_ = -1;
  std::string problem_;
};

}  // namespace vannor
