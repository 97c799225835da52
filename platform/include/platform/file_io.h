// Whole small files read and replaced through descriptors that are
// close-on-exec, so that no child process started meanwhile by another
// thread inherits them.
#pragma once

#include <cstddef>
#include <string>

// windows.h names its own ReplaceFile through a macro; a file that includes
// both means this one.
#ifdef ReplaceFile
#undef ReplaceFile
#endif

namespace ZEMBRA {
namespace platform {

// Reads the whole regular file at path into content. Returns 0, or the
// system's error number; EFBIG when the file holds more than maxBytes.
int ReadWholeFile(const std::string& path, size_t maxBytes, std::string& content);

// Creates or truncates the file at path and writes content, reporting a
// failure the system only reports at close. Returns 0 or the error number.
int ReplaceFile(const std::string& path, const std::string& content);

}  // namespace platform
}  // namespace ZEMBRA
