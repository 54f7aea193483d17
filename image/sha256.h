// SHA-256 of an image, fed as its bytes are read, so that the file is read once: the digest
// names the bytes that went to the radio, whatever the file holds later.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vannor {

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256 {
 public:
  Sha256();
  void Update(const std::uint8_t* bytes, std::size_t count);
  // The digest of everything fed so far; the hash must not be fed afterwards.
  Sha256Digest Finish();

 private:
  void Compress(const std::uint8_t* block);

  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> block_{};
  std::size_t filled_ = 0;
  std::uint64_t total_ = 0;
};

// The 64 lower-case hexadecimal digits, as sha256sum prints them.
std::string HexDigest(const Sha256Digest& digest);

}  // namespace vannor
