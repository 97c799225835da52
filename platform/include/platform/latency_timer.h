// The latency timer of a USB serial receiver: how long the adapter holds
// back a partly filled packet before sending it to the host. At the default
// 16 ms the glove's stream arrives in lumps, so the driver sets it to 1 ms.
//
// On Linux it is the usb-serial driver's "latency_timer" attribute of the
// port's device in sysfs. These calls only find, read and write it; what is
// reported to the user is the driver's business.
#pragma once

#include <optional>
#include <string>

#include "platform/port_enum.h"

namespace ZEMBRA {
namespace platform {

// The attribute of the receiver whose instance identifier is instanceId,
// or, when no present port has that identifier, of the port named by
// portName (a device node path or a bare name such as "ttyUSB0"). Empty
// when neither names a port.
std::string LatencyTimerPath(const PortRoots& roots, const std::string& instanceId, const std::string& portName);

// The timer in milliseconds; nothing when the attribute is missing,
// unreadable or does not hold a number from 0 to 255.
std::optional<int> ReadLatencyTimer(const std::string& attributePath);

// Returns 0 or the errno of the refused write.
int WriteLatencyTimer(const std::string& attributePath, int milliseconds);

}  // namespace platform
}  // namespace ZEMBRA
