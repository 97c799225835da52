// Captures what the code under test writes to standard output (both the C
// stream and std::cout), through a pipe drained by a thread so that long
// output never blocks the writer.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

namespace ZEMBRA {
namespace testsupport {

class StdoutCapture {
 public:
  StdoutCapture() {
    std::cout.flush();
    std::fflush(stdout);
    saved_ = ::dup(STDOUT_FILENO);
    int fds[2];
    if (::pipe(fds) != 0) return;
    ::dup2(fds[1], STDOUT_FILENO);
    ::close(fds[1]);
    reader_ = std::thread([this, fd = fds[0]] {
      char buffer[4096];
      ssize_t n;
      while ((n = ::read(fd, buffer, sizeof buffer)) > 0) text_.append(buffer, size_t(n));
      ::close(fd);
    });
  }
  ~StdoutCapture() { Stop(); }

  // Restores standard output and returns everything captured. When the
  // running test has failed, the captured text (which holds the failure
  // messages written meanwhile) is repeated on standard error.
  const std::string& Stop() {
    if (saved_ >= 0) {
      std::cout.flush();
      std::fflush(stdout);
      ::dup2(saved_, STDOUT_FILENO);
      ::close(saved_);
      saved_ = -1;
      if (reader_.joinable()) reader_.join();
      if (::testing::Test::HasFailure()) std::cerr << "---- captured output ----\n" << text_ << "----\n";
    }
    return text_;
  }

 private:
  int saved_ = -1;
  std::thread reader_;
  std::string text_;
};

inline size_t CountOf(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++count;
  return count;
}

}  // namespace testsupport
}  // namespace ZEMBRA
