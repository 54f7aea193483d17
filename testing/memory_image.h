// An image held in memory as an Update's source: tests start a write as the programs do, through
// the link's one way, with no file to pick.
#pragma once

#include <memory>

#include "protocol/update_request.h"
#include "testing/images.h"

namespace vannor::testkit {

inline ImageSource MemoryImage(const Bytes& bytes) {
  auto image = std::make_shared<UpdateImage>();
  image->chosen.length = static_cast<std::uint32_t>(bytes.size());
  image->chosen.path = "memory.out";
  image->bytes = bytes;
  return ImageSource(std::shared_ptr<const UpdateImage>(std::move(image)));
}

}  // namespace vannor::testkit
