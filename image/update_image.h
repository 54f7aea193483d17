// The image an Update sends, read from the file the user chose: what its checks found and, when
// it loaded, its bytes. Read once and shared read-only by the links that send it; the engine
// reads it in place.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vannor {

// The largest image the radio takes.
inline constexpr std::uint32_t IMAGE_CAPACITY = 200000;

// Why a chosen file is not sent.
enum class ImageRefusal : std::uint8_t {
  NotOut,      // the name does not end in .out
  Unreadable,  // missing, unreadable, not a regular file, a read error, or changed meanwhile
  Size,        // empty, or larger than the buffer
};

// The image file the user chose, checked and read.
struct ChosenImage {
  std::optional<ImageRefusal> refusal;  // none: loaded
  std::uint32_t length = 0;             // bytes read, when loaded
  std::string problem;                  // why it was refused, in the system's words where known
  std::string path;                     // as chosen
  std::string sha256;                   // of the bytes read, in hexadecimal, when loaded
};

struct UpdateImage {
  ChosenImage chosen;
  std::vector<std::uint8_t> bytes;  // the first chosen.length are the image
};
// The file at `path` checked (its name ends in .out, it holds 1 to IMAGE_CAPACITY bytes, no
// other program is writing it) and read as one version of the file.
std::shared_ptr<const UpdateImage> ReadUpdateImage(const std::string& path);

}  // namespace vannor
