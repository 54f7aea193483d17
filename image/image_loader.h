// Choosing the image file and reading it, untranslated, into linkState.imageBuffer.
#pragma once

#include <cstdint>
#include <cstdio>

#include "protocol/engine_host.h"

namespace vannor {

// An open image file; closes itself if nobody did.
class ImageStream {
 public:
  ImageStream() = default;
  explicit ImageStream(std::FILE* file) : file_(file) {}
  ImageStream(ImageStream&& other) noexcept : file_(other.file_) { other.file_ = nullptr; }
  ImageStream& operator=(ImageStream&& other) noexcept;
  ImageStream(const ImageStream&) = delete;
  ImageStream& operator=(const ImageStream&) = delete;
  ~ImageStream() { Close(); }

  bool IsOpen() const { return file_ != nullptr; }
  std::FILE* File() const { return file_; }
  void Close();

 private:
  std::FILE* file_ = nullptr;
};

enum class SelectOutcome { Opened, Cancelled, Refused, OpenFailed };

struct ImageSelection {
  SelectOutcome outcome;
  ImageStream stream;  // open only when outcome is Opened
};

// Shows the file dialog, checks the extension ("out", case-sensitive), opens the file and
// checks that it holds 1 to IMAGE_CAPACITY bytes. Every refusal has shown its message.
ImageSelection SelectImageFile(EngineHost& host);

enum class LoadOutcome {
  Loaded,
  SizeChanged,  // the file no longer holds 1 to IMAGE_CAPACITY bytes: it changed after the check
  ReadFailed,   // reading stopped at an error, so the buffer holds only the start of the file
};

// Fills imageBuffer and imageLength from the stream, then closes it. Nothing past the buffer is
// ever stored; unless the outcome is Loaded the image must not be transferred.
LoadOutcome LoadImage(ImageStream& stream);

// The text after the last dot of the file name (without its folder); empty when there is none.
std::string_view FileExtension(std::string_view path);

}  // namespace vannor
