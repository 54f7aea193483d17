#include "image/update_image.h"

#include <utility>

#include "image/image_loader.h"

namespace vannor {

namespace {

ChosenImage LoadChosenImage(const std::string& path, std::uint8_t* buffer, std::size_t capacity) {
  const auto refused = [&path](ImageRefusal refusal, std::string problem) {
    return ChosenImage{
        .refusal = refusal, .length = 0, .problem = std::move(problem), .path = path, .sha256 = {}};
  };
  if (FileExtension(path) != "out") {
    return refused(ImageRefusal::NotOut, "the image's name must end in .out");
  }
  const LoadResult loaded = LoadImage(path, buffer, capacity);
  switch (loaded.outcome) {
    case LoadOutcome::Loaded:
      return ChosenImage{.refusal = std::nullopt,
                         .length = loaded.length,
                         .problem = {},
                         .path = path,
                         .sha256 = HexDigest(loaded.sha256)};
    case LoadOutcome::SizeError:
      return refused(ImageRefusal::Size, "the image must hold 1 to 200000 bytes");
    case LoadOutcome::OpenFailed:
      return refused(ImageRefusal::Unreadable, loaded.problem);
    case LoadOutcome::Changed:
      return refused(ImageRefusal::Unreadable, "the image changed while it was read");
    case LoadOutcome::BeingWritten:
      return refused(ImageRefusal::Unreadable, "the image is still being written");
    case LoadOutcome::ReadFailed:
      break;
  }
  return refused(ImageRefusal::Unreadable, "the image cannot be read");
}

}  // namespace

std::shared_ptr<const UpdateImage> ReadUpdateImage(const std::string& path) {
  auto image = std::make_shared<UpdateImage>();
  image->bytes.resize(IMAGE_CAPACITY);
  image->chosen = LoadChosenImage(path, image->bytes.data(), image->bytes.size());
  return image;
}

}  // namespace vannor
