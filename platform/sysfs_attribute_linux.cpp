#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file_descriptor_posix.h"
#include "platform/sysfs_attribute.h"

namespace ZEMBRA {
namespace platform {

namespace {

bool IsRegular(int fd) {
  struct stat status {};
  return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace

std::optional<std::string> ReadAttribute(const std::string& path) {
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (file.get() < 0 || !IsRegular(file.get())) return std::nullopt;

  std::string text;
  if (ReadAll(file.get(), kMaxAttributeBytes, text) != 0) return std::nullopt;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

int WriteAttribute(const std::string& path, const std::string& text) {
  // O_TRUNC matters only for plain files standing in for an attribute; the
  // kernel ignores it on real ones.
  FileDescriptor file(::open(path.c_str(), O_WRONLY | O_TRUNC | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (file.get() < 0) return errno;
  if (const int error = WriteAll(file.get(), text)) return error;
  return file.Close();
}

}  // namespace platform
}  // namespace ZEMBRA
