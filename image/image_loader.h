// Checking the chosen image file and reading it, untranslated, into a caller's buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "image/sha256.h"

namespace vannor {

enum class LoadOutcome {
  Loaded,
  OpenFailed,  // missing, unreadable, or not a regular file (a FIFO, a device, a folder)
  SizeError,   // empty, or larger than the buffer
  ReadFailed,  // reading stopped at an error
  Changed,     // written or replaced while it was read: the bytes may mix two versions
  // Held open for writing by another program, or (where the system cannot tell that) changed
  // so shortly before it was read that a write may still be under way.
  BeingWritten,
};

struct LoadResult {
  LoadOutcome outcome;
  std::uint32_t length;   // bytes stored; meaningful only when Loaded
  std::string problem;    // OpenFailed: why ("not a regular file", or the system's words)
  Sha256Digest sha256{};  // of the bytes stored, hashed as they were read; when Loaded
};

// Where the system cannot tell whether a file is held open for writing, one that changed less
// than this before it is read is refused as still being written: a write changes a file's times
// before its bytes, so its stamp vouches for the bytes only after any write under way then has
// had time to end.
inline constexpr int IMAGE_SETTLE_MS = 100;

// Reads the whole file at path into buffer, as one version of the file: the file as it was when
// it was opened, or Changed. Nothing past capacity is ever stored; unless the outcome is Loaded
// the buffer must not be sent.
LoadResult LoadImage(const std::string& path, std::uint8_t* buffer, std::size_t capacity);

// The text after the last dot of the file name (without its folder); empty when there is none.
std::string_view FileExtension(std::string_view path);

}  // namespace vannor
