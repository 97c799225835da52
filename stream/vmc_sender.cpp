#include "stream/vmc_sender.h"

#include <lo/lo.h>

#include "udp_socket.h"

namespace ZEMBRA {
namespace stream {

namespace {

// liblo reports a server's errors through this; Open reports them itself.
void QuietErrors(int, const char*, const char*) {}

lo_message ToLiblo(const OscMessage& message) {
  lo_message m = lo_message_new();
  for (const OscArgument& a : message.arguments) {
    switch (a.type) {
      case 'i':
        lo_message_add_int32(m, a.i);
        break;
      case 's':
        lo_message_add_string(m, a.s.c_str());
        break;
      default:
        lo_message_add_float(m, a.f);
        break;
    }
  }
  return m;
}

// The socket is a liblo server's (bound to a port of the system's
// choosing), so that liblo sends from it and the sender can make it
// non-blocking and connected; nothing is ever read from it.
class LibloSender final : public VmcSender {
 public:
  LibloSender(Destination destination, bool bundle, lo_server server, lo_address address)
      : VmcSender(std::move(destination)), bundle_(bundle), server_(server), address_(address) {}
  ~LibloSender() override {
    lo_address_free(address_);
    lo_server_free(server_);
  }

  void Send(const std::vector<OscMessage>& messages) override {
    if (bundle_) {
      lo_bundle b = lo_bundle_new(LO_TT_IMMEDIATE);
      for (const OscMessage& message : messages) lo_bundle_add_message(b, message.address.c_str(), ToLiblo(message));
      Count(lo_send_bundle_from(address_, server_, b));
      lo_bundle_free_recursive(b);
    } else {
      for (const OscMessage& message : messages) {
        lo_message m = ToLiblo(message);
        Count(lo_send_message_from(address_, server_, message.address.c_str(), m));
        lo_message_free(m);
      }
    }
    sends_.fetch_add(1, std::memory_order_relaxed);
  }

  SendCounts counts() const override {
    SendCounts c;
    c.sends = sends_.load(std::memory_order_relaxed);
    c.datagrams = datagrams_.load(std::memory_order_relaxed);
    c.refused = refused_.load(std::memory_order_relaxed);
    c.dropped = dropped_.load(std::memory_order_relaxed);
    c.failed = failed_.load(std::memory_order_relaxed);
    return c;
  }

 private:
  void Count(int result) {
    if (result >= 0) {
      datagrams_.fetch_add(1, std::memory_order_relaxed);
      return;
    }
    switch (ClassifySendError(lo_address_errno(address_))) {
      case SendError::Refused:
        refused_.fetch_add(1, std::memory_order_relaxed);
        break;
      case SendError::QueueFull:
        dropped_.fetch_add(1, std::memory_order_relaxed);
        break;
      default:
        failed_.fetch_add(1, std::memory_order_relaxed);
        break;
    }
  }

  const bool bundle_;
  lo_server server_;
  lo_address address_;
  std::atomic<uint64_t> sends_{0}, datagrams_{0}, refused_{0}, dropped_{0}, failed_{0};
};

}  // namespace

std::unique_ptr<VmcSender> VmcSender::Open(const Destination& destination, bool bundle, std::string& error) {
  const std::optional<std::string> address = ResolveIPv4(destination.host, error);
  if (!address) return nullptr;
  lo_server server = lo_server_new_with_proto(nullptr, LO_UDP, QuietErrors);
  if (!server) {
    error = "cannot make a socket for " + destination.text();
    return nullptr;
  }
  if (!PrepareSendSocket(lo_server_get_socket_fd(server), *address, destination.port, error)) {
    lo_server_free(server);
    return nullptr;
  }
  const std::string port = std::to_string(destination.port);
  lo_address to = lo_address_new_with_proto(LO_UDP, address->c_str(), port.c_str());
  if (!to) {
    lo_server_free(server);
    error = "bad address " + destination.text();
    return nullptr;
  }
  return std::make_unique<LibloSender>(destination, bundle, server, to);
}

}  // namespace stream
}  // namespace ZEMBRA
