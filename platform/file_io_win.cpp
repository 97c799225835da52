#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "text_win.h"
// After windows.h, whose ReplaceFile macro this header takes back.
#include "platform/file_io.h"

namespace ZEMBRA {
namespace platform {

namespace {

// The callers report errors with strerror: give them an errno value.
int ErrnoFromSystem(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    default:
      return EIO;
  }
}

int LastErrno() { return ErrnoFromSystem(::GetLastError()); }

}  // namespace

// Handles are opened without inheritance (a null security descriptor), so
// a child process started meanwhile by another thread never holds them.
int ReadWholeFile(const std::string& path, size_t maxBytes, std::string& content) {
  UniqueHandle file(::CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return LastErrno();
  // Pipes, consoles and devices would block or never end.
  if (::GetFileType(file.get()) != FILE_TYPE_DISK) return EINVAL;
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size)) return LastErrno();
  if (size.QuadPart < 0 || uint64_t(size.QuadPart) > maxBytes) return EFBIG;
  std::string text(size_t(size.QuadPart), '\0');
  size_t have = 0;
  while (have < text.size()) {
    DWORD got = 0;
    const DWORD want = DWORD(std::min<size_t>(text.size() - have, 1u << 20));
    if (!::ReadFile(file.get(), text.data() + have, want, &got, nullptr)) return LastErrno();
    if (got == 0) break;  // shrank while we read
    have += got;
  }
  text.resize(have);
  content = std::move(text);
  return 0;
}

int ReplaceFile(const std::string& path, const std::string& content) {
  UniqueHandle file(
      ::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return LastErrno();
  size_t done = 0;
  while (done < content.size()) {
    DWORD wrote = 0;
    const DWORD want = DWORD(std::min<size_t>(content.size() - done, 1u << 20));
    if (!::WriteFile(file.get(), content.data() + done, want, &wrote, nullptr)) return LastErrno();
    done += wrote;
  }
  // A failure the system only reports when the data reaches the disk.
  if (!::FlushFileBuffers(file.get())) return LastErrno();
  if (!::CloseHandle(file.release())) return LastErrno();
  return 0;
}

}  // namespace platform
}  // namespace ZEMBRA
