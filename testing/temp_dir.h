// A folder of its own for each test or benchmark that needs real files, removed afterwards.
// Paths are UTF-8 on every platform.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace vannor::testkit {

// A UTF-8 path as the platform's path (on Windows the narrow API would read the code page).
inline std::filesystem::path PathFromUtf8(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

class TempDir {
 public:
  TempDir() {
    std::error_code error;
    const std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error) return;
    std::random_device seed;
    std::mt19937_64 random(seed());
    // create_directory reports false for a name that exists already: another run has it.
    for (int attempt = 0; attempt < 100; ++attempt) {
      char name[32];
      std::snprintf(name, sizeof name, "vannor-test-%012llx",
                    static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
      const std::filesystem::path candidate = base / name;
      if (std::filesystem::create_directory(candidate, error) && !error) {
        path_ = Utf8FromPath(candidate);
        return;
      }
      if (error) return;
    }
  }
  ~TempDir() {
    std::error_code ignored;  // a leftover temp folder is harmless
    if (!path_.empty()) std::filesystem::remove_all(PathFromUtf8(path_), ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }

  // Writes a file of the folder's own and returns its full path.
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    const std::string file = path_ + "/" + name;
    std::ofstream out(PathFromUtf8(file), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return file;
  }

 private:
  std::string path_;
};

}  // namespace vannor::testkit
