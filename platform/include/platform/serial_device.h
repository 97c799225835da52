// A receiver's serial port: Boost.Asio's serial_port with the line rules the
// glove link relies on.
//
// - Open is exclusive: a second opener is refused, whoever it runs as.
// - A burst read waits for the first byte, then completes once the line has
//   been idle for about 1 ms or the buffer is full, so one burst from the
//   receiver is one read.
// - A blocking delimiter read gives up after a time-out and never grows its
//   buffer past a bound.
//
// Threads: the asynchronous operations complete on whichever thread runs the
// io_context. Cancel and Close must run on that same thread while one runs it
// (the link posts them there); blocking writes may come from any thread.
#pragma once

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/serial_port.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/system/error_code.hpp>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ZEMBRA {
namespace platform {

// True for the errors an open of a port held elsewhere ends with.
bool IsAccessDenied(const boost::system::error_code& ec);
// True when the system refused the open because the user may not use the
// device (not because another process holds it).
bool IsPermissionDenied(const boost::system::error_code& ec);

class SerialDevice {
 public:
  using ReadHandler = std::function<void(const boost::system::error_code&, size_t)>;

  explicit SerialDevice(boost::asio::io_context& io);
  ~SerialDevice();
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  // Opens the named device for reading and writing, raw, exclusively, and
  // close-on-exec: no child process inherits it.
  boost::system::error_code Open(const std::string& name);
  // Baud rate, 8 data bits, one stop bit, no parity, no flow control, DTR
  // and RTS held on.
  boost::system::error_code ApplyLineSettings(int baudRate);
  bool IsOpen() const { return port_.is_open(); }

  // Blocking write of all bytes; returns how many were written.
  size_t Write(const uint8_t* data, size_t size, boost::system::error_code& ec);
  size_t WriteByte(uint8_t byte, boost::system::error_code& ec) { return Write(&byte, 1, ec); }
  // Fire-and-forget single byte; the completion is ignored.
  void AsyncWriteByte(uint8_t byte);

  // One burst into buffer (at most size bytes); see the header comment.
  void AsyncReadBurst(uint8_t* buffer, size_t size, ReadHandler handler);

  // Asynchronous read into stream until it contains delimiter; the handler
  // gets the byte count up to and including the delimiter.
  void AsyncReadUntil(boost::asio::streambuf& stream, std::string_view delimiter, ReadHandler handler);

  // Blocking delimiter read that never touches io: it waits on the
  // descriptor itself, so it may also run inside a completion handler of
  // the thread that runs io. Returns the byte count up to and including the
  // delimiter. Ends with operation_aborted soon after cancel becomes true,
  // with timed_out at the deadline. When stream reaches its maximum size
  // without the delimiter, all but the last few bytes are discarded and the
  // read goes on. No asynchronous read may be outstanding meanwhile.
  size_t ReadUntilPolling(boost::asio::streambuf& stream, std::string_view delimiter,
                          std::chrono::steady_clock::time_point deadline, const std::atomic<bool>& cancel,
                          boost::system::error_code& ec);

  boost::system::error_code Cancel();
  boost::system::error_code Close();

 private:
  // A blocking delimiter read waits this long at most between two looks at
  // cancel and the deadline, and reads this much at a time.
  static constexpr std::chrono::milliseconds kPollSlice{20};
  static constexpr size_t kReadChunk = 512;

  // Baud rate, 8 data bits, one stop bit, no parity, no flow control, in
  // that order, through Asio; the first failure ends it.
  boost::system::error_code SetLineOptions(int baudRate);
  void GatherBurst(uint8_t* buffer, size_t size, size_t& have);
  // One look at what a blocking delimiter read has gathered, the same on
  // every system: the byte count up to and including the delimiter, or none.
  // searched carries what earlier looks ruled out (0 before the first).
  // When stream has no room for another chunk, all but the tail that may
  // begin a delimiter is dropped.
  // Whether a blocking delimiter read must end now: cancel was set
  // (operation_aborted) or the deadline has passed (timed_out).
  static bool WaitOver(const std::atomic<bool>& cancel, std::chrono::steady_clock::time_point deadline,
                       boost::system::error_code& ec);
  static std::optional<size_t> ScanForDelimiter(boost::asio::streambuf& stream, std::string_view delimiter,
                                                size_t& searched);

  boost::asio::serial_port port_;
  std::string delimiter_;
};

}  // namespace platform
}  // namespace ZEMBRA
