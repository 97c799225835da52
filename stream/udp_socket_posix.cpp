#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "udp_socket.h"

namespace ZEMBRA {
namespace stream {

std::optional<std::string> ResolveIPv4(const std::string& host, std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int status = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (status != 0 || !found) {
    error = "cannot resolve host " + host + ": " + ::gai_strerror(status);
    return std::nullopt;
  }
  char text[INET_ADDRSTRLEN] = {};
  const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  ::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
  ::freeaddrinfo(found);
  return std::string(text);
}

bool PrepareSendSocket(int fd, const std::string& address, uint16_t port, std::string& error) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    error = std::string("cannot make the socket non-blocking: ") + std::strerror(errno);
    return false;
  }
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  if (::inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1) {
    error = "bad address " + address;
    return false;
  }
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
    error = "cannot send to " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

SendError ClassifySendError(int error) {
  switch (error) {
    case 0:
      return SendError::None;
    case ECONNREFUSED:
    case EHOSTUNREACH:
    case ENETUNREACH:
      return SendError::Refused;
    case EAGAIN:  // EWOULDBLOCK on this system
    case ENOBUFS:
      return SendError::QueueFull;
    default:
      return SendError::Other;
  }
}

}  // namespace stream
}  // namespace ZEMBRA
