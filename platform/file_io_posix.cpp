#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file_descriptor_posix.h"
#include "platform/file_io.h"

namespace ZEMBRA {
namespace platform {

int ReadWholeFile(const std::string& path, size_t maxBytes, std::string& content) {
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (file.get() < 0) return errno;
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) return errno;
  if (!S_ISREG(status.st_mode)) return EINVAL;
  std::string text;
  if (const int error = ReadAll(file.get(), maxBytes, text)) return error;
  content = std::move(text);
  return 0;
}

int ReplaceFile(const std::string& path, const std::string& content) {
  FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666));
  if (file.get() < 0) return errno;
  if (const int error = WriteAll(file.get(), content)) return error;
  return file.Close();
}

}  // namespace platform
}  // namespace ZEMBRA
