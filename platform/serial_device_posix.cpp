#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <boost/asio/read_until.hpp>
#include <boost/asio/steady_timer.hpp>
#include <cerrno>
#include <ctime>

#include "platform/serial_device.h"

namespace ZEMBRA {
namespace platform {

namespace {

// How long the line must stay quiet before a burst read completes.
constexpr long kBurstIdleNanoseconds = 1000000;

boost::system::error_code SystemError(int value) { return {value, boost::system::system_category()}; }

}  // namespace

bool IsAccessDenied(const boost::system::error_code& ec) {
  if (ec.category() != boost::system::system_category()) return false;
  return ec.value() == EBUSY || ec.value() == EWOULDBLOCK;
}

bool IsPermissionDenied(const boost::system::error_code& ec) {
  if (ec.category() != boost::system::system_category()) return false;
  return ec.value() == EACCES || ec.value() == EPERM;
}

SerialDevice::SerialDevice(boost::asio::io_context& io) : port_(io) {}

SerialDevice::~SerialDevice() { Close(); }

// Opened here rather than by Asio so that the descriptor is close-on-exec
// from its first moment: a child process started meanwhile by any thread
// (the lighthouse console, a demo program) must not inherit the port and,
// with it, the exclusive hold on the receiver.
boost::system::error_code SerialDevice::Open(const std::string& name) {
  if (port_.is_open()) return boost::asio::error::already_open;
  const int fd = ::open(name.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return SystemError(errno);
  bool exclusive = false;  // ours to clear again on the way out
  const auto fail = [fd, &exclusive](int error) {
    if (exclusive) (void)::ioctl(fd, TIOCNXCL);
    ::close(fd);
    return SystemError(error);
  };
  // The hold comes before any setting, so that a refused opener never
  // disturbs the line of the process that holds the port. TIOCEXCL keeps
  // ordinary users out; the advisory lock also refuses a second opener
  // running as root, which TIOCEXCL lets through.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(errno == EWOULDBLOCK ? EBUSY : errno);
  if (::ioctl(fd, TIOCEXCL) != 0) return fail(errno);
  exclusive = true;
  // Raw bytes, as Asio sets up a port it opens itself.
  termios raw{};
  if (::tcgetattr(fd, &raw) != 0) return fail(errno);
  ::cfmakeraw(&raw);
  raw.c_iflag |= IGNPAR;
  raw.c_cflag |= CREAD | CLOCAL;
  if (::tcsetattr(fd, TCSANOW, &raw) != 0) return fail(errno);
  boost::system::error_code ec;
  port_.assign(fd, ec);
  if (ec) fail(0);
  return ec;
}

boost::system::error_code SerialDevice::ApplyLineSettings(int baudRate) {
  if (const boost::system::error_code ec = SetLineOptions(baudRate)) return ec;
  // Hold DTR and RTS on. Pseudo-terminals have no modem lines; that is not
  // an error for the link.
  int lines = TIOCM_DTR | TIOCM_RTS;
  (void)::ioctl(port_.native_handle(), TIOCMBIS, &lines);
  return {};
}

void SerialDevice::AsyncReadBurst(uint8_t* buffer, size_t size, ReadHandler handler) {
  port_.async_read_some(boost::asio::buffer(buffer, size), [this, buffer, size, handler = std::move(handler)](
                                                               const boost::system::error_code& ec, size_t n) {
    if (!ec && n < size && port_.is_open()) GatherBurst(buffer, size, n);
    handler(ec, n);
  });
}

// The rest of a burst: whatever follows within the idle gap. Runs on the
// io thread, which therefore owns the descriptor for this short while.
void SerialDevice::GatherBurst(uint8_t* buffer, size_t size, size_t& have) {
  const int fd = port_.native_handle();
  while (have < size) {
    pollfd waiting = {fd, POLLIN, 0};
    const timespec idle = {0, kBurstIdleNanoseconds};
    if (::ppoll(&waiting, 1, &idle, nullptr) <= 0) return;
    if (!(waiting.revents & POLLIN)) return;
    const ssize_t got = ::read(fd, buffer + have, size - have);
    if (got <= 0) return;
    have += size_t(got);
  }
}

void SerialDevice::AsyncReadUntil(boost::asio::streambuf& stream, std::string_view delimiter, ReadHandler handler) {
  delimiter_.assign(delimiter.data(), delimiter.size());
  boost::asio::async_read_until(port_, stream, delimiter_, std::move(handler));
}

size_t SerialDevice::ReadUntilPolling(boost::asio::streambuf& stream, std::string_view delimiter,
                                      std::chrono::steady_clock::time_point deadline, const std::atomic<bool>& cancel,
                                      boost::system::error_code& ec) {
  size_t searched = 0;
  for (;;) {
    if (const std::optional<size_t> n = ScanForDelimiter(stream, delimiter, searched)) {
      ec.clear();
      return *n;
    }
    if (WaitOver(cancel, deadline, ec)) return 0;
    // The deadline may pass between the look above and this one.
    const auto left =
        std::max(deadline - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration::zero());
    if (!port_.is_open()) {
      ec = boost::asio::error::bad_descriptor;
      return 0;
    }
    const auto wait = std::min<std::chrono::nanoseconds>(kPollSlice, left);
    pollfd waiting = {port_.native_handle(), POLLIN, 0};
    const timespec ts = {time_t(wait.count() / 1000000000), long(wait.count() % 1000000000)};
    const int ready = ::ppoll(&waiting, 1, &ts, nullptr);
    if (ready < 0 && errno != EINTR) {
      ec = SystemError(errno);
      return 0;
    }
    if (ready <= 0) continue;
    if (waiting.revents & (POLLERR | POLLHUP | POLLNVAL) && !(waiting.revents & POLLIN)) {
      ec = boost::asio::error::eof;
      return 0;
    }
    auto space = stream.prepare(kReadChunk);
    const ssize_t got = ::read(port_.native_handle(), space.data(), space.size());
    if (got > 0) {
      stream.commit(size_t(got));
    } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
      ec = got == 0 ? boost::asio::error::eof : SystemError(errno);
      return 0;
    }
  }
}

boost::system::error_code SerialDevice::Close() {
  boost::system::error_code ec;
  if (!port_.is_open()) return ec;
  // The exclusive mark belongs to the terminal, not to this descriptor: clear
  // it or the next open by an ordinary user is refused.
  (void)::ioctl(port_.native_handle(), TIOCNXCL);
  port_.close(ec);
  return ec;
}

}  // namespace platform
}  // namespace ZEMBRA
