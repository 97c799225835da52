// The few socket calls the VMC sender needs beyond liblo (one file per
// system): resolving a host to an IPv4 address, and making a socket that
// never blocks and hears the destination's refusals.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ZEMBRA {
namespace stream {

// The dotted IPv4 address of host; none, and error says why, when it has none.
std::optional<std::string> ResolveIPv4(const std::string& host, std::string& error);

// Makes fd non-blocking and connects it to address:port, so that a refusal
// of the destination comes back as an error of a later send.
bool PrepareSendSocket(int fd, const std::string& address, uint16_t port, std::string& error);

enum class SendError { None, Refused, QueueFull, Other };
// The kind of error a failed send reported (an errno value).
SendError ClassifySendError(int error);

}  // namespace stream
}  // namespace ZEMBRA
