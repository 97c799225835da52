#include <algorithm>
#include <array>
#include <boost/asio/read_until.hpp>

#include "platform/serial_device.h"
#include "text_win.h"

namespace ZEMBRA {
namespace platform {

namespace {

boost::system::error_code SystemError(DWORD value) { return {int(value), boost::system::system_category()}; }

// "COM12" needs the device namespace prefix to open; "COM1" to "COM9" work
// either way. A name that already carries a prefix or a path is kept.
std::wstring DevicePath(const std::string& name) {
  if (name.find('\\') != std::string::npos || name.find('/') != std::string::npos) return Widen(name);
  return L"\\\\.\\" + Widen(name);
}

}  // namespace

bool IsAccessDenied(const boost::system::error_code& ec) {
  if (ec.category() != boost::system::system_category()) return false;
  return ec.value() == ERROR_ACCESS_DENIED || ec.value() == ERROR_SHARING_VIOLATION;
}

// Windows has no per-user device permissions for serial ports: an
// access-denied open means another process holds the port.
bool IsPermissionDenied(const boost::system::error_code&) { return false; }

SerialDevice::SerialDevice(boost::asio::io_context& io) : port_(io) {}

SerialDevice::~SerialDevice() { Close(); }

// Opened here rather than by Asio: no sharing (the system refuses a second
// opener with access denied), no inheritance (a child process started by
// any thread must not hold the receiver), and the byte-mode options and
// time-outs the burst framing relies on.
boost::system::error_code SerialDevice::Open(const std::string& name) {
  if (port_.is_open()) return boost::asio::error::already_open;
  UniqueHandle handle(::CreateFileW(DevicePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr));
  if (!handle.valid()) return SystemError(::GetLastError());
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(handle.get(), &dcb)) return SystemError(::GetLastError());
  dcb.fBinary = TRUE;  // no end-of-file character
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  if (!::SetCommState(handle.get(), &dcb)) return SystemError(::GetLastError());
  // A read waits for its first byte, then ends once the line has been idle
  // for 1 ms: one burst from the receiver is one read. Writes never time out.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = 1;
  if (!::SetCommTimeouts(handle.get(), &timeouts)) return SystemError(::GetLastError());
  boost::system::error_code ec;
  port_.assign(handle.get(), ec);
  if (!ec) handle.release();
  return ec;
}

boost::system::error_code SerialDevice::ApplyLineSettings(int baudRate) {
  if (const boost::system::error_code ec = SetLineOptions(baudRate)) return ec;
  // Asio's "no flow control" leaves the modem lines as they were; hold them
  // on. A port without modem lines (a pseudo-terminal under Wine) refuses,
  // which is not an error for the link.
  (void)::EscapeCommFunction(port_.native_handle(), SETDTR);
  (void)::EscapeCommFunction(port_.native_handle(), SETRTS);
  return {};
}

// The port's interval time-out ends the read at the burst's end, so one
// read is one burst.
void SerialDevice::AsyncReadBurst(uint8_t* buffer, size_t size, ReadHandler handler) {
  port_.async_read_some(boost::asio::buffer(buffer, size), std::move(handler));
}

void SerialDevice::GatherBurst(uint8_t*, size_t, size_t&) {}

void SerialDevice::AsyncReadUntil(boost::asio::streambuf& stream, std::string_view delimiter, ReadHandler handler) {
  delimiter_.assign(delimiter.data(), delimiter.size());
  boost::asio::async_read_until(port_, stream, delimiter_, std::move(handler));
}

namespace {

// One overlapped read of our own beside Asio's. The event's low bit keeps
// the completion out of the io_context's completion port, so the read
// completes here and nowhere else. The read is cancelled and waited for
// before the buffer and the OVERLAPPED go.
class OwnRead {
 public:
  explicit OwnRead(HANDLE port) : port_(port), event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~OwnRead() {
    if (pending_) {
      ::CancelIoEx(port_, &overlapped_);
      DWORD ignored = 0;
      ::GetOverlappedResult(port_, &overlapped_, &ignored, TRUE);
    }
  }
  OwnRead(const OwnRead&) = delete;
  OwnRead& operator=(const OwnRead&) = delete;

  bool ready() const { return event_.valid(); }

  // Starts a read into buffer unless one is pending. Returns false with
  // the error when the system refused it.
  bool Start(void* buffer, DWORD size, DWORD& error) {
    if (pending_) return true;
    overlapped_ = OVERLAPPED{};
    overlapped_.hEvent = reinterpret_cast<HANDLE>(reinterpret_cast<uintptr_t>(event_.get()) | 1);
    ::ResetEvent(event_.get());
    if (!::ReadFile(port_, buffer, size, nullptr, &overlapped_) && ::GetLastError() != ERROR_IO_PENDING) {
      error = ::GetLastError();
      return false;
    }
    pending_ = true;
    return true;
  }

  // Waits up to the given time. Returns true when the read has ended, with
  // its byte count or error.
  bool Wait(DWORD milliseconds, DWORD& got, DWORD& error) {
    if (::WaitForSingleObject(event_.get(), milliseconds) != WAIT_OBJECT_0) return false;
    pending_ = false;
    got = 0;
    error = ::GetOverlappedResult(port_, &overlapped_, &got, FALSE) ? 0 : ::GetLastError();
    return true;
  }

 private:
  HANDLE port_;
  UniqueHandle event_;
  OVERLAPPED overlapped_{};
  bool pending_ = false;
};

}  // namespace

size_t SerialDevice::ReadUntilPolling(boost::asio::streambuf& stream, std::string_view delimiter,
                                      std::chrono::steady_clock::time_point deadline, const std::atomic<bool>& cancel,
                                      boost::system::error_code& ec) {
  if (!port_.is_open()) {
    ec = boost::asio::error::bad_descriptor;
    return 0;
  }
  OwnRead read(port_.native_handle());
  if (!read.ready()) {
    ec = SystemError(::GetLastError());
    return 0;
  }
  std::array<char, kReadChunk> chunk;
  size_t searched = 0;
  for (;;) {
    if (const std::optional<size_t> n = ScanForDelimiter(stream, delimiter, searched)) {
      ec.clear();
      return *n;
    }
    DWORD error = 0;
    if (!read.Start(chunk.data(), DWORD(chunk.size()), error)) {
      ec = SystemError(error);
      return 0;
    }
    for (;;) {
      if (WaitOver(cancel, deadline, ec)) return 0;
      // The deadline may pass between the look above and this one.
      const auto left =
          std::max(deadline - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration::zero());
      const auto wait = std::min<std::chrono::steady_clock::duration>(kPollSlice, left);
      DWORD got = 0;
      const DWORD milliseconds = DWORD(std::chrono::duration_cast<std::chrono::milliseconds>(wait).count()) + 1;
      if (!read.Wait(milliseconds, got, error)) continue;
      if (error != 0) {
        ec = SystemError(error);
        return 0;
      }
      auto space = stream.prepare(got);
      std::copy_n(chunk.data(), got, static_cast<char*>(space.data()));
      stream.commit(got);
      break;
    }
  }
}

boost::system::error_code SerialDevice::Close() {
  boost::system::error_code ec;
  if (port_.is_open()) port_.close(ec);
  return ec;
}

}  // namespace platform
}  // namespace ZEMBRA
