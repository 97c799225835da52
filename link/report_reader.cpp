#include "link/report_reader.h"

#include <string>

#include "log/log.h"

namespace ZEMBRA {
namespace link {

ReportReading ReadChannelReport(platform::SerialDevice& port, boost::asio::streambuf& stream,
                                std::chrono::milliseconds timeout, const std::atomic<bool>& cancel) {
  ReportReading reading;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    boost::system::error_code ec;
    const size_t n = port.ReadUntilPolling(stream, protocol::kReportDelimiter, deadline, cancel, ec);
    if (ec == boost::asio::error::timed_out) {
      reading.status = ReportReading::Status::TimedOut;
      return reading;
    }
    if (ec == boost::asio::error::operation_aborted) {
      reading.status = ReportReading::Status::Cancelled;
      return reading;
    }
    if (ec) {
      reading.error = ec;
      return reading;
    }
    const auto data = stream.data();
    const std::string text(static_cast<const char*>(data.data()), n);
    stream.consume(n);
    log::Stream() << "bytes read from port: " << n << std::endl;
    if (!protocol::IsFullReport(n)) continue;
    reading.status = ReportReading::Status::Report;
    reading.report = protocol::ParseChannelReport(text);
    return reading;
  }
}

}  // namespace link
}  // namespace ZEMBRA
