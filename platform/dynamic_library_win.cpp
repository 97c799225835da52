#include "platform/dynamic_library.h"
#include "text_win.h"

namespace ZEMBRA {
namespace platform {

DynamicLibrary::~DynamicLibrary() {
  if (handle_) ::FreeLibrary(static_cast<HMODULE>(handle_));
}

bool DynamicLibrary::Load(const std::string& nameOrPath) {
  if (handle_) {
    ::FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = nullptr;
  }
  // No error dialog for a missing library or one of its dependencies: the
  // caller reports it.
  const UINT previousMode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  handle_ = ::LoadLibraryW(Widen(nameOrPath).c_str());
  const DWORD why = ::GetLastError();
  ::SetErrorMode(previousMode);
  if (!handle_) {
    error_ = "cannot load " + nameOrPath + ": " + SystemMessage(why);
    return false;
  }
  error_.clear();
  return true;
}

void* DynamicLibrary::Symbol(const char* name) {
  if (!handle_) return nullptr;
  FARPROC address = ::GetProcAddress(static_cast<HMODULE>(handle_), name);
  if (!address) {
    error_ = std::string("missing symbol ") + name + ": " + SystemMessage(::GetLastError());
    return nullptr;
  }
  return reinterpret_cast<void*>(address);
}

}  // namespace platform
}  // namespace ZEMBRA
