#include "text_win.h"

namespace ZEMBRA {
namespace platform {

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int size = int(utf8.size());
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(size_t(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
  return wide;
}

std::string Narrow(const std::wstring& utf16) {
  if (utf16.empty()) return std::string();
  const int size = int(utf16.size());
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string narrow(size_t(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, narrow.data(), length, nullptr, nullptr);
  return narrow;
}

std::string NarrowBounded(const wchar_t* text, size_t length) {
  size_t end = 0;
  while (end < length && text[end] != L'\0') ++end;
  return Narrow(std::wstring(text, end));
}

std::string SystemMessage(DWORD code) {
  wchar_t buffer[512];
  const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        buffer, DWORD(sizeof buffer / sizeof buffer[0]), nullptr);
  std::string text = NarrowBounded(buffer, length);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  if (text.empty()) text = "system error " + std::to_string(code);
  return text;
}

}  // namespace platform
}  // namespace ZEMBRA
