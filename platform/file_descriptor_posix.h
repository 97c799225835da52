// An owned POSIX descriptor, closed when the object goes.
#pragma once

#include <errno.h>
#include <unistd.h>

namespace ZEMBRA {
namespace platform {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  // Closes now so that a failure the kernel only reports at close is seen.
  // Returns 0 or the error number.
  int Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

}  // namespace platform
}  // namespace ZEMBRA
