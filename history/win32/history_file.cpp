#include "history/history_file.h"

#include <windows.h>

#include <cstdlib>

#include "history/history_log.h"

namespace vannor {

namespace {

// See posix/history_file.cpp.
constexpr int OPEN_ATTEMPTS = 4;

std::wstring Wide(const std::string& text) {
  const int count =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(count > 0 ? count : 0), L'\0');
  if (count > 0) {
    (void)MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                              count);  // sized just above
  }
  return wide;
}

std::string Narrow(const wchar_t* text) {
  const int count = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (count <= 1) return {};
  std::string narrow(static_cast<std::size_t>(count), '\0');
  (void)WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), count, nullptr,
                            nullptr);  // sized just above
  narrow.resize(static_cast<std::size_t>(count - 1));
  return narrow;
}

std::string Reason(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string reason = length > 0 ? Narrow(text) : "error " + std::to_string(error);
  if (text != nullptr) (void)LocalFree(text);  // the system's buffer; nothing to do if it fails
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
  return reason;
}

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  // Closing releases the lock; the line was written by then, or its failure told.
  ~Handle() {
    if (handle_ != INVALID_HANDLE_VALUE) (void)CloseHandle(handle_);
  }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

// The folders under %LOCALAPPDATA% inherit the profile's access: only the user and the system.
bool MakeFolders(const std::string& path, std::string& problem) {
  for (std::size_t slash = path.find_first_of("/\\", 3); slash != std::string::npos;
       slash = path.find_first_of("/\\", slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (!CreateDirectoryW(Wide(folder).c_str(), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
      problem = folder + ": " + Reason(GetLastError());
      return false;
    }
  }
  return true;
}

// Whether the open file is still the one the name leads to.
bool StillNamed(HANDLE file, const std::wstring& path) {
  const Handle named(CreateFileW(path.c_str(), 0,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  BY_HANDLE_FILE_INFORMATION a, b;
  return named.Get() != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &a) &&
         GetFileInformationByHandle(named.Get(), &b) &&
         a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace

std::string DefaultHistoryPath() {
  const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
  if (local == nullptr || local[0] == L'\0') return {};
  return Narrow(local) + "\\Vannor\\history.jsonl";
}

bool AppendHistoryLine(const std::string& path, std::string_view line, std::string& problem) {
  if (!MakeFolders(path, problem)) return false;
  const std::wstring wide = Wide(path);
  for (int attempt = 0; attempt < OPEN_ATTEMPTS; ++attempt) {
    // Shared with every other writer and reader, and movable while open: each waits for the lock.
    const Handle file(CreateFileW(wide.c_str(), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE) {
      problem = Reason(GetLastError());
      return false;
    }
    OVERLAPPED whole{};
    LARGE_INTEGER size{};
    if (!LockFileEx(file.Get(), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole) ||
        !GetFileSizeEx(file.Get(), &size)) {
      problem = Reason(GetLastError());
      return false;
    }
    if (!StillNamed(file.Get(), wide)) continue;
    if (size.QuadPart >= HISTORY_ROTATE_BYTES) {
      if (!MoveFileExW(wide.c_str(), Wide(RotatedHistoryPath(path)).c_str(),
                       MOVEFILE_REPLACE_EXISTING)) {
        problem = "cannot move it aside: " + Reason(GetLastError());
        return false;
      }
      continue;
    }
    // Opened for appending only: the one write lands whole at the end.
    DWORD written = 0;
    if (WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
        written == line.size()) {
      return true;
    }
    problem = written == 0 ? Reason(GetLastError()) : "the disk took only part of the line";
    return false;
  }
  problem = "the file kept moving while it was written";
  return false;
}

std::string HostName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  return GetComputerNameW(name, &length) ? Narrow(name) : std::string();
}

std::string UserName() {
  wchar_t name[257] = {};
  DWORD length = 257;
  return GetUserNameW(name, &length) ? Narrow(name) : std::string();
}

}  // namespace vannor
