// Opening a receiver's port, as every link does it: the port by name, then
// the line settings the receiver expects. Each link prints its own messages
// for what went wrong, but the failure to open reads the same in both.
#pragma once

#include <boost/system/error_code.hpp>
#include <string>

#include "platform/serial_device.h"

namespace ZEMBRA {
namespace link {

struct ReceiverOpening {
  enum class Failure { None, Open, LineSettings };
  Failure failure = Failure::None;
  boost::system::error_code error;  // the system's reason when failure is not None
  bool ok() const { return failure == Failure::None; }
};

// Opens name exclusively and applies baudRate, 8 data bits, one stop bit, no
// parity and no flow control. A port whose line settings failed stays open.
ReceiverOpening OpenReceiver(platform::SerialDevice& port, const std::string& name, int baudRate);

// "error : port_->open() failed...com_port_name=<name>, e=<the system's text>"
void PrintOpenFailure(const std::string& name, const boost::system::error_code& error);

}  // namespace link
}  // namespace ZEMBRA
