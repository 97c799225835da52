#include "link/open_receiver.h"

#include "log/log.h"

namespace ZEMBRA {
namespace link {

ReceiverOpening OpenReceiver(platform::SerialDevice& port, const std::string& name, int baudRate) {
  ReceiverOpening opening;
  opening.error = port.Open(name);
  if (opening.error) {
    opening.failure = ReceiverOpening::Failure::Open;
    return opening;
  }
  opening.error = port.ApplyLineSettings(baudRate);
  if (opening.error) opening.failure = ReceiverOpening::Failure::LineSettings;
  return opening;
}

void PrintOpenFailure(const std::string& name, const boost::system::error_code& error) {
  log::Stream() << "error : port_->open() failed...com_port_name=" << name << ", e=" << error.message() << std::endl;
}

}  // namespace link
}  // namespace ZEMBRA
