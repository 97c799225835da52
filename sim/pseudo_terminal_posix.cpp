#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "sim/pseudo_terminal.h"

namespace ZEMBRA {
namespace sim {

namespace {

[[noreturn]] void ThrowErrno(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

}  // namespace

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    Reset();
    fd_ = other.Release();
  }
  return *this;
}

void FileDescriptor::Reset() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

Waker::Waker() {
  int fds[2];
  if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) ThrowErrno("pipe2");
  read_ = FileDescriptor(fds[0]);
  write_ = FileDescriptor(fds[1]);
}

void Waker::Notify() {
  const uint8_t byte = 1;
  // A full pipe already holds a wake-up; nothing is lost by ignoring it.
  ssize_t written;
  do {
    written = ::write(write_.get(), &byte, 1);
  } while (written < 0 && errno == EINTR);
}

void Waker::Drain() {
  uint8_t buffer[64];
  while (::read(read_.get(), buffer, sizeof buffer) > 0) {
  }
}

PseudoTerminal::PseudoTerminal() {
  master_ = FileDescriptor(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!master_.valid()) ThrowErrno("posix_openpt");
  if (::grantpt(master_.get()) != 0) ThrowErrno("grantpt");
  if (::unlockpt(master_.get()) != 0) ThrowErrno("unlockpt");
  char name[128];
  const int err = ::ptsname_r(master_.get(), name, sizeof name);
  if (err != 0) throw std::system_error(err, std::generic_category(), "ptsname_r");
  path_ = name;

  slave_ = FileDescriptor(::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!slave_.valid()) ThrowErrno("open pseudo-terminal slave");
  // Echo would send the receiver's own output back to it as commands.
  termios settings;
  if (::tcgetattr(slave_.get(), &settings) != 0) ThrowErrno("tcgetattr");
  ::cfmakeraw(&settings);
  // With external processing marked and the master in packet mode, every
  // change of the line settings by the host reaches the master as a status
  // packet: that is how the receiver sees a host open its port.
  settings.c_lflag |= EXTPROC;
  if (::tcsetattr(slave_.get(), TCSANOW, &settings) != 0) ThrowErrno("tcsetattr");
  int packet = 1;
  if (::ioctl(master_.get(), TIOCPKT, &packet) != 0) ThrowErrno("TIOCPKT");
}

PseudoTerminal::WriteStatus PseudoTerminal::Write(const uint8_t* data, size_t size, size_t queueLimit) {
  if (!master_.valid()) return WriteStatus::Closed;
  if (QueuedForHost() + size > queueLimit) return WriteStatus::Dropped;
  ssize_t written;
  do {
    written = ::write(master_.get(), data, size);
  } while (written < 0 && errno == EINTR);
  if (written < 0) return errno == EAGAIN || errno == EWOULDBLOCK ? WriteStatus::Dropped : WriteStatus::Closed;
  return size_t(written) == size ? WriteStatus::Written : WriteStatus::Partial;
}

size_t PseudoTerminal::Read(uint8_t* buffer, size_t capacity) {
  if (!master_.valid() || capacity == 0) return 0;
  // In packet mode every read starts with a status byte: TIOCPKT_DATA before
  // data, or status bits alone (then nothing else comes with it).
  uint8_t packet[257];
  ssize_t got;
  do {
    got = ::read(master_.get(), packet, std::min(capacity + 1, sizeof packet));
  } while (got < 0 && errno == EINTR);
  if (got <= 0) return 0;
  if (packet[0] != TIOCPKT_DATA) {
    if (packet[0] & TIOCPKT_IOCTL) lineChanged_ = true;
    return 0;
  }
  std::copy(packet + 1, packet + got, buffer);
  return size_t(got - 1);
}

size_t PseudoTerminal::QueuedForHost() const {
  int queued = 0;
  if (!slave_.valid() || ::ioctl(slave_.get(), FIONREAD, &queued) != 0 || queued < 0) return 0;
  return size_t(queued);
}

void PseudoTerminal::Close() {
  master_.Reset();
  slave_.Reset();
}

void PseudoTerminal::WaitForHost(const Waker& waker, std::chrono::steady_clock::time_point deadline) const {
  pollfd fds[2] = {{waker.fd(), POLLIN, 0}, {master_.get(), POLLIN, 0}};
  const nfds_t count = master_.valid() ? 2 : 1;
  const auto left = deadline - std::chrono::steady_clock::now();
  const int64_t ns = left.count() > 0 ? std::chrono::duration_cast<std::chrono::nanoseconds>(left).count() : 0;
  const timespec timeout = {time_t(ns / 1000000000), long(ns % 1000000000)};
  ::ppoll(fds, count, &timeout, nullptr);
}

}  // namespace sim
}  // namespace ZEMBRA
