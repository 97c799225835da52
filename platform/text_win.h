// UTF-8 and UTF-16 and the system's error texts, for the Windows files of
// the platform layer. Internal to the platform layer.
#pragma once

#include <windows.h>

#include <string>

namespace ZEMBRA {
namespace platform {

// Invalid sequences become U+FFFD rather than failing the conversion.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);
// Narrow over at most length characters, stopping at the first null.
std::string NarrowBounded(const wchar_t* text, size_t length);

// The system's text for an error code, without the trailing line end.
std::string SystemMessage(DWORD code);

// Closes a kernel handle when it goes; INVALID_HANDLE_VALUE and null are
// both "no handle".
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE release() {
    HANDLE h = handle_;
    handle_ = nullptr;
    return h;
  }
  void reset(HANDLE handle = nullptr) {
    if (valid()) ::CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

// Closes an open registry key when it goes.
class UniqueKey {
 public:
  UniqueKey() = default;
  ~UniqueKey() {
    if (key_) ::RegCloseKey(key_);
  }
  UniqueKey(const UniqueKey&) = delete;
  UniqueKey& operator=(const UniqueKey&) = delete;
  HKEY get() const { return key_; }
  // For the calls that open a key into an out-parameter.
  HKEY* out() { return &key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace platform
}  // namespace ZEMBRA
