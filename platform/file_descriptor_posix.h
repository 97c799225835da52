// An owned POSIX descriptor, closed when the object goes.
#pragma once

#include <errno.h>
#include <unistd.h>

#include <cstddef>
#include <string>

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

// Reads to the end into text. Returns 0, the error number, or EFBIG once
// more than maxBytes arrived.
inline int ReadAll(int fd, size_t maxBytes, std::string& text) {
  char chunk[4096];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) return 0;
    text.append(chunk, size_t(got));
    if (text.size() > maxBytes) return EFBIG;
  }
}

// Writes all of text. Returns 0 or the error number.
inline int WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (wrote == 0) return EIO;
    done += size_t(wrote);
  }
  return 0;
}

}  // namespace platform
}  // namespace ZEMBRA
