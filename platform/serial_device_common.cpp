// What the serial device does the same way on every system: the line
// options, writing and cancelling through Asio's serial port, and looking
// for the delimiter of a blocking delimiter read.
#include <array>
#include <boost/asio/write.hpp>

#include "platform/serial_device.h"

namespace ZEMBRA {
namespace platform {

namespace {

constexpr std::array<uint8_t, 256> MakeByteValues() {
  std::array<uint8_t, 256> values{};
  for (size_t i = 0; i < values.size(); ++i) values[i] = uint8_t(i);
  return values;
}
constexpr std::array<uint8_t, 256> kByteValues = MakeByteValues();

}  // namespace

boost::system::error_code SerialDevice::SetLineOptions(int baudRate) {
  using boost::asio::serial_port_base;
  boost::system::error_code ec;
  port_.set_option(serial_port_base::baud_rate(unsigned(baudRate)), ec);
  if (!ec) port_.set_option(serial_port_base::character_size(8), ec);
  if (!ec) port_.set_option(serial_port_base::stop_bits(serial_port_base::stop_bits::one), ec);
  if (!ec) port_.set_option(serial_port_base::parity(serial_port_base::parity::none), ec);
  if (!ec) port_.set_option(serial_port_base::flow_control(serial_port_base::flow_control::none), ec);
  return ec;
}

size_t SerialDevice::Write(const uint8_t* data, size_t size, boost::system::error_code& ec) {
  ec.clear();
  if (!port_.is_open()) {
    ec = boost::asio::error::bad_descriptor;
    return 0;
  }
  return boost::asio::write(port_, boost::asio::buffer(data, size), ec);
}

void SerialDevice::AsyncWriteByte(uint8_t byte) {
  // The byte must outlive the operation: point into a constant table.
  boost::asio::async_write(port_, boost::asio::buffer(&kByteValues[byte], 1),
                           [](const boost::system::error_code&, size_t) {});
}

std::optional<size_t> SerialDevice::ScanForDelimiter(boost::asio::streambuf& stream, std::string_view delimiter,
                                                     size_t& searched) {
  const auto data = stream.data();
  const std::string_view text(static_cast<const char*>(data.data()), data.size());
  const size_t at = text.find(delimiter, searched);
  if (at != std::string_view::npos) return at + delimiter.size();
  // Only the last bytes can begin a delimiter that the next bytes complete.
  searched = text.size() >= delimiter.size() ? text.size() - delimiter.size() + 1 : 0;
  if (stream.size() + kReadChunk > stream.max_size()) {
    // Full without a delimiter: nothing before the tail can belong to one.
    const size_t keep = delimiter.size() - 1;
    stream.consume(stream.size() > keep ? stream.size() - keep : 0);
    searched = 0;
  }
  return std::nullopt;
}

bool SerialDevice::WaitOver(const std::atomic<bool>& cancel, std::chrono::steady_clock::time_point deadline,
                            boost::system::error_code& ec) {
  if (cancel.load()) {
    ec = boost::asio::error::operation_aborted;
    return true;
  }
  if (std::chrono::steady_clock::now() >= deadline) {
    ec = boost::asio::error::timed_out;
    return true;
  }
  return false;
}

boost::system::error_code SerialDevice::Cancel() {
  boost::system::error_code ec;
  if (port_.is_open()) port_.cancel(ec);
  return ec;
}

}  // namespace platform
}  // namespace ZEMBRA
