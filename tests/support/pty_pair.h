// A bare pseudo-terminal pair for tests that play the receiver by hand:
// the test reads and writes the master side, the code under test opens
// the slave path.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace ZEMBRA {
namespace testsupport {

class PtyPair {
 public:
  PtyPair() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    path_ = ::ptsname(master_);
    // Hold the slave open in raw mode so that bytes written before the code
    // under test opens it are neither echoed nor cooked.
    slave_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    ::tcgetattr(slave_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave_, TCSANOW, &t);
  }
  ~PtyPair() {
    if (slave_ >= 0) ::close(slave_);
    CloseMaster();
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool ok() const { return master_ >= 0 && slave_ >= 0; }
  const std::string& path() const { return path_; }
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  bool Write(const std::string& bytes) { return ::write(master_, bytes.data(), bytes.size()) == ssize_t(bytes.size()); }

  // Like Write, but gives up (false) when the host stops reading and the
  // terminal stays full for the whole time given.
  bool WriteWithin(const std::string& bytes, std::chrono::milliseconds within) {
    const int flags = ::fcntl(master_, F_GETFL);
    ::fcntl(master_, F_SETFL, flags | O_NONBLOCK);
    const auto deadline = std::chrono::steady_clock::now() + within;
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += size_t(n);
        continue;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{master_, POLLOUT, 0};
      ::poll(&p, 1, int(left.count()));
    }
    ::fcntl(master_, F_SETFL, flags);
    return done == bytes.size();
  }

  // Reads what the host wrote until count bytes arrived or the time is up.
  std::string Read(size_t count, std::chrono::milliseconds within) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (got.size() < count) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, int(left.count())) <= 0) break;
      char buffer[256];
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      got.append(buffer, size_t(n));
    }
    return got;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

// A channel noise report as the receiver sends it: filler, the mark, one
// token per channel, the delimiter.
inline std::string MakeReport(const std::vector<float>& noise, size_t fillerBytes = 720) {
  std::string text(fillerBytes, 'x');
  text += "/////";
  for (float n : noise) text += std::to_string(n) + ",\r\n";
  text += "TUPU";
  return text;
}

}  // namespace testsupport
}  // namespace ZEMBRA
