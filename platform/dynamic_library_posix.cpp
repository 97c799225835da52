#include <dlfcn.h>

#include "platform/dynamic_library.h"

namespace ZEMBRA {
namespace platform {

DynamicLibrary::~DynamicLibrary() {
  if (handle_) dlclose(handle_);
}

bool DynamicLibrary::Load(const std::string& nameOrPath) {
  if (handle_) {
    dlclose(handle_);
    handle_ = nullptr;
  }
  handle_ = dlopen(nameOrPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* why = dlerror();
    error_ = why ? why : ("cannot load " + nameOrPath);
    return false;
  }
  error_.clear();
  return true;
}

void* DynamicLibrary::Symbol(const char* name) {
  if (!handle_) return nullptr;
  dlerror();
  void* address = dlsym(handle_, name);
  if (!address) {
    const char* why = dlerror();
    error_ = why ? why : (std::string("missing symbol ") + name);
  }
  return address;
}

}  // namespace platform
}  // namespace ZEMBRA
