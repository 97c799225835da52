// Waiting for the receiver's channel noise report on a freshly opened port:
// the part of setting up a radio link that the driver and the plug-in do
// alike. Each decides itself what a report, a time-out or a failure means.
#pragma once

#include <atomic>
#include <boost/asio/streambuf.hpp>
#include <boost/system/error_code.hpp>
#include <chrono>
#include <cstddef>

#include "platform/serial_device.h"
#include "protocol/channel_report.h"

namespace ZEMBRA {
namespace link {

// Bytes that never hold a delimiter are discarded past this size, so a
// chattering receiver cannot make a link buffer without end.
constexpr size_t kStreamBufferLimit = 64 * 1024;

struct ReportReading {
  enum class Status {
    Report,     // a block long enough to be a report arrived: report holds its parse
    TimedOut,   // none before the deadline
    Cancelled,  // cancel became true
    Failed,     // the port failed: error says why
  };
  Status status = Status::Failed;
  protocol::ChannelReport report;
  boost::system::error_code error;
};

// Reads blocks that end in the report delimiter until one is longer than a
// report's minimum, printing "bytes read from port: " and each block's size;
// shorter blocks are dropped. One deadline bounds the whole wait: a
// receiver that keeps sending short blocks cannot hold the caller for
// longer than timeout. The report's text is parsed, not sorted.
ReportReading ReadChannelReport(platform::SerialDevice& port, boost::asio::streambuf& stream,
                                std::chrono::milliseconds timeout, const std::atomic<bool>& cancel);

}  // namespace link
}  // namespace ZEMBRA
