// Checking the chosen image file and reading it, untranslated, into a caller's buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vannor {

enum class LoadOutcome {
  Loaded,
  OpenFailed,  // missing, unreadable, or not a regular file (a FIFO, a device, a folder)
  SizeError,   // empty, larger than the buffer, or its size changed while it was read
  ReadFailed,  // reading stopped at an error
};

struct LoadResult {
  LoadOutcome outcome;
  std::uint32_t length;  // bytes stored; meaningful only when Loaded
  std::string problem;   // OpenFailed: why ("not a regular file", or the system's words)
};

// Reads the whole file at path into buffer. Nothing past capacity is ever stored; unless the
// outcome is Loaded the buffer must not be sent.
LoadResult LoadImage(const std::string& path, std::uint8_t* buffer, std::size_t capacity);

// The text after the last dot of the file name (without its folder); empty when there is none.
std::string_view FileExtension(std::string_view path);

}  // namespace vannor
