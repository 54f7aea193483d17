#include "history/history_file.h"

#include <windows.h>

#include <cstdlib>

namespace vannor {

namespace {

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

HANDLE Native(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

// Shared with every other writer and reader, and movable while open: each waits for the lock.
constexpr DWORD SHARING = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

std::string DefaultHistoryPath(std::string& problem) {
  const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
  if (local == nullptr || local[0] == L'\0') {
    problem = "no folder for the user's own files (LOCALAPPDATA is not set)";
    return {};
  }
  return Narrow(local) + "\\Vannor\\history.jsonl";
}

// `like` has nothing to give: a new file takes its folder's access, as the older one did.
HistoryFile::HistoryFile(const std::string& path, Use use, const std::string& /*like*/) {
  const DWORD access = use == Use::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
  // The link itself, never where it leads; a device or a pipe opens without waiting and is
  // refused below as not a disk file.
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT |
                      (use == Use::Read ? FILE_FLAG_BACKUP_SEMANTICS : 0);
  const HANDLE file = CreateFileW(Wide(path).c_str(), access, SHARING, nullptr,
                                  use == Use::Read ? OPEN_EXISTING : OPEN_ALWAYS, flags, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    missing_ = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    problem_ = Reason(error);
    return;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
  BY_HANDLE_FILE_INFORMATION facts{};
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &facts)) {
    problem_ = "not a regular file";
  } else if (facts.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    problem_ = Reason(ERROR_DIRECTORY);
  } else if (facts.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    problem_ = "a link, which is not followed";
  } else {
    return;
  }
  (void)CloseHandle(file);  // refused: nothing was written through it
  handle_ = CLOSED;
}

HistoryFile::~HistoryFile() {
  // Closing releases the lock; the line was written by then, or its failure told.
  if (IsOpen()) (void)CloseHandle(Native(handle_));
}

void HistoryFile::Failed() {
  problem_ = Reason(GetLastError());
}

HistoryFile::Lock HistoryFile::TryLock() {
  OVERLAPPED whole{};
  if (LockFileEx(Native(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                 MAXDWORD, &whole)) {
    return Lock::Held;
  }
  if (GetLastError() == ERROR_LOCK_VIOLATION || GetLastError() == ERROR_IO_PENDING) {
    return Lock::Busy;
  }
  Failed();
  return Lock::Failed;
}

std::int64_t HistoryFile::Size() {
  LARGE_INTEGER size{};
  if (GetFileSizeEx(Native(handle_), &size)) return size.QuadPart;
  Failed();
  return -1;
}

bool HistoryFile::StillNamed(const std::string& path) {
  const HANDLE named = CreateFileW(Wide(path).c_str(), 0, SHARING, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (named == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION a, b;
  const bool same = GetFileInformationByHandle(Native(handle_), &a) &&
                    GetFileInformationByHandle(named, &b) &&
                    a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                    a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
  (void)CloseHandle(named);  // only asked
  return same;
}

bool HistoryFile::EndsLine(std::int64_t size) {
  if (size == 0) return true;
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(size - 1);
  at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(size - 1) >> 32);
  char last = 0;
  DWORD got = 0;
  // A byte that cannot be read counts as no line's end: at worst the line begins with a blank one.
  return ReadFile(Native(handle_), &last, 1, &got, &at) && got == 1 && last == '\n';
}

long long HistoryFile::WriteAt(const char* bytes, std::size_t count, std::int64_t offset) {
  // Under the lock the end is `offset`: no other writer moves it meanwhile.
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
  DWORD written = 0;
  if (WriteFile(Native(handle_), bytes, static_cast<DWORD>(count), &written, &at)) return written;
  Failed();
  return written > 0 ? static_cast<long long>(written) : -1;
}

bool HistoryFile::CutTo(std::int64_t size) {
  LARGE_INTEGER at{};
  at.QuadPart = size;
  if (SetFilePointerEx(Native(handle_), at, nullptr, FILE_BEGIN) && SetEndOfFile(Native(handle_))) {
    return true;
  }
  Failed();
  return false;
}

long long HistoryFile::Read(char* buffer, std::size_t count) {
  DWORD got = 0;
  if (ReadFile(Native(handle_), buffer, static_cast<DWORD>(count), &got, nullptr)) return got;
  if (GetLastError() == ERROR_HANDLE_EOF) return 0;
  Failed();
  return -1;
}

long long HistoryFile::ReadAt(char* buffer, std::size_t count, std::int64_t offset) {
  // The handle is not overlapped: the offset is only where this one read starts.
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
  DWORD got = 0;
  if (ReadFile(Native(handle_), buffer, static_cast<DWORD>(count), &got, &at)) return got;
  if (GetLastError() == ERROR_HANDLE_EOF) return 0;
  Failed();
  return -1;
}

// The folders under %LOCALAPPDATA% inherit the profile's access: only the user and the system.
bool MakeHistoryFolders(const std::string& path, std::string& problem) {
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

MoveAside MoveHistoryAside(const std::string& path, const std::string& rotated,
                           std::string& problem) {
  if (MoveFileExW(Wide(path).c_str(), Wide(rotated).c_str(), MOVEFILE_REPLACE_EXISTING)) {
    return MoveAside::Moved;
  }
  const DWORD error = GetLastError();
  problem = "cannot move it aside: " + Reason(error);
  // Another user's file in a shared folder whose access lets this one write but not rename.
  return error == ERROR_ACCESS_DENIED ? MoveAside::NotAllowed : MoveAside::Failed;
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
