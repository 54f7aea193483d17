#include "image/image_file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <climits>
#include <string>

#include "image/image_loader.h"

namespace vannor {

namespace {

// The path as Windows' own wide characters: the file dialog hands over UTF-8, and the narrow
// API would read it in the machine's code page, which cannot name every file.
std::wstring WidePath(const std::string& utf8) {
  if (utf8.empty() || utf8.size() > static_cast<std::size_t>(INT_MAX)) return std::wstring();
  const int length = static_cast<int>(utf8.size());
  const int wide =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
  if (wide <= 0) return std::wstring();
  std::wstring path(static_cast<std::size_t>(wide), L'\0');
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, path.data(), wide) !=
      wide) {
    return std::wstring();
  }
  return path;
}

// A file on a disk, not a folder, device (NUL, CON, a COM port) or pipe.
bool IsRegularFile(HANDLE file) {
  if (GetFileType(file) != FILE_TYPE_DISK) return false;
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileInformationByHandle(file, &info) != 0 &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

constexpr long long SETTLE_NS = IMAGE_SETTLE_MS * 1000000LL;

// 100-ns units from 1601 to 1970: counted from 1970, nanoseconds fit in 64 bits.
constexpr long long UNIX_EPOCH_TICKS = 116444736000000000LL;

long long TicksToNs(long long ticks) {
  return (ticks - UNIX_EPOCH_TICKS) * 100;
}

long long FromFileTime(const FILETIME& time) {
  return TicksToNs(static_cast<long long>(
      (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime));
}

// The system's time in the file times' scale.
long long FileClockNs() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return FromFileTime(now);
}

bool StampFrom(HANDLE file, FileStamp& stamp) {
  BY_HANDLE_FILE_INFORMATION info;
  FILE_BASIC_INFO basic;
  if (file == INVALID_HANDLE_VALUE || GetFileInformationByHandle(file, &info) == 0 ||
      GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) == 0) {
    return false;
  }
  stamp = FileStamp{
      .device = info.dwVolumeSerialNumber,
      .file = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
      .size = static_cast<long long>((static_cast<unsigned long long>(info.nFileSizeHigh) << 32) |
                                     info.nFileSizeLow),
      .modifiedNs = FromFileTime(info.ftLastWriteTime),
      .changedNs = TicksToNs(basic.ChangeTime.QuadPart)};
  return true;
}

}  // namespace

ImageFile::~ImageFile() {
  // The file was only read: a failing close loses nothing.
  if (fd_ >= 0) (void)_close(fd_);
}

bool ImageFile::Open(const std::string& path) {
  heldForWriting_ = false;
  writersRuledOut_ = false;
  openedNs_ = FileClockNs();
  const std::wstring wide = WidePath(path);
  // An embedded NUL would name another file than the one chosen.
  problem_ = "cannot be opened";
  if (wide.empty() || wide.find(L'\0') != std::wstring::npos) return false;
  // Others may keep reading the file, but none may hold it open for writing: the open is then
  // refused, as a file still being written. A file replaced meanwhile shows in its stamp.
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    heldForWriting_ = GetLastError() == ERROR_SHARING_VIOLATION;
    if (heldForWriting_) problem_ = "held open for writing";
    return false;
  }
  if (!IsRegularFile(file)) {
    problem_ = "not a regular file";
    (void)CloseHandle(file);  // see the destructor
    return false;
  }
  // Binary: the runtime passes every byte through untranslated, CR, LF and Ctrl-Z included.
  fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
  if (fd_ < 0) {
    (void)CloseHandle(file);  // the runtime did not take it over; see the destructor
    return false;
  }
  writersRuledOut_ = true;
  return true;
}

bool ImageFile::Stamp(FileStamp& stamp) const {
  if (fd_ < 0) return false;
  return StampFrom(reinterpret_cast<HANDLE>(_get_osfhandle(fd_)), stamp);
}

bool ImageFile::StampOf(const std::string& path, FileStamp& stamp) {
  const std::wstring wide = WidePath(path);
  if (wide.empty() || wide.find(L'\0') != std::wstring::npos) return false;
  // No access asked: only the file's information is read, whoever else has it open.
  HANDLE file = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool told = StampFrom(file, stamp);
  (void)CloseHandle(file);  // opened for its information only
  return told;
}

bool ImageFile::ChangedTooRecently(const FileStamp& stamp) const {
  return stamp.changedNs + SETTLE_NS >= openedNs_ && stamp.changedNs <= FileClockNs();
}

long long ImageFile::ReadSome(std::uint8_t* buffer, std::size_t count) {
  if (fd_ < 0) return -1;
  // _read takes an unsigned int count; the loader asks again for the rest.
  const unsigned int chunk = count > INT_MAX ? INT_MAX : static_cast<unsigned int>(count);
  return _read(fd_, buffer, chunk);
}

}  // namespace vannor
