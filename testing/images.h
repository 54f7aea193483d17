// Images for tests and benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vannor::testkit {

using Bytes = std::vector<std::uint8_t>;

// Every byte value in each run of 256 (7 is odd, so i * 7 walks all of them), shifted from one
// run to the next, so that the line's special characters all cross in many places.
inline Bytes AllByteValues(std::size_t length = 256) {
  Bytes all(length);
  for (std::size_t i = 0; i < length; ++i) all[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  return all;
}

// An image of `length` bytes that starts with the bytes a wrong line setting would translate,
// drop or double, or that the protocol gives a meaning, then runs through every value.
inline Bytes MakeImage(std::size_t length) {
  static constexpr std::uint8_t nasty[] = {0x13, 0x11, 0x03, 0x1A, 0x0D, 0x0A, 0x7F,
                                           0xFF, 0x00, 0x06, 0x05, 0x56, 0x57, 0x15};
  Bytes image = AllByteValues(length);
  for (std::size_t i = 0; i < length && i < sizeof nasty; ++i) image[i] = nasty[i];
  return image;
}

}  // namespace vannor::testkit
