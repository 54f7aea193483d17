// An image file opened for reading, through one handle from the size check to the last byte, so
// that what is loaded is one version of the file. Each platform implements it in a file of its
// own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vannor {

// What tells one version of a file from another: which file it is, its size, and when its
// contents and its entry last changed, to the nanosecond where the file system keeps that.
struct FileStamp {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  long long size = -1;
  long long modifiedNs = 0;
  long long changedNs = 0;

  bool operator==(const FileStamp&) const = default;
};

class ImageFile {
 public:
  ImageFile() = default;
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;
  ~ImageFile();

  // Opens a regular file without ever blocking: a FIFO, a device or a folder is refused, and
  // so is a file that another program holds open for writing, where the system tells that.
  bool Open(const std::string& path);
  // Why the last Open failed: "not a regular file", or the system's words.
  const std::string& Problem() const { return problem_; }
  // Whether the last Open failed because another program holds the file open for writing.
  bool HeldForWriting() const { return heldForWriting_; }
  // Whether the system told, at the open, that no other program held the file open for
  // writing; false where it cannot tell (not the file's owner, a network file system).
  bool WritersRuledOut() const { return writersRuledOut_; }
  // The open file's stamp as it is now; false when the system cannot tell it.
  bool Stamp(FileStamp& stamp) const;
  // The stamp of whatever the path names now (another file, once the chosen one was replaced).
  static bool StampOf(const std::string& path, FileStamp& stamp);
  // Whether the file changed so shortly before this open (or since) that a write may still be
  // under way, or could come unseen within the same tick of the file system's clock: the stamp
  // cannot then vouch for the bytes read. A system changes a file's times before its bytes.
  bool ChangedTooRecently(const FileStamp& stamp) const;
  // Reads at most count bytes; the number read, 0 at the end, negative on an error.
  long long ReadSome(std::uint8_t* buffer, std::size_t count);

 private:
  int fd_ = -1;
  std::string problem_;
  bool heldForWriting_ = false;
  bool writersRuledOut_ = false;
  // The file system's clock when the file was opened, in ns.
  long long openedNs_ = 0;
};

}  // namespace vannor
