// A shared library loaded at run time; unloaded when the object goes.
#pragma once

#include <string>

namespace ZEMBRA {
namespace platform {

class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // Loads the library by file name (searched on the loader's path) or by
  // path. On failure returns false and error() says why.
  bool Load(const std::string& nameOrPath);
  bool loaded() const { return handle_ != nullptr; }
  // Address of an exported symbol, or null (error() then says why).
  void* Symbol(const char* name);
  const std::string& error() const { return error_; }

 private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace platform
}  // namespace ZEMBRA
