// One VMC destination: the messages of a send built with liblo and sent as
// one bundle, or message by message. A send never blocks: a datagram that
// does not fit the socket's queue is dropped and counted, and a
// destination that refuses (nothing listens there: the ICMP "port
// unreachable" of an earlier datagram) is counted, never fatal.
//
// Threads: one sending thread; the counts may be read from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "stream/options.h"
#include "stream/vmc_messages.h"

namespace ZEMBRA {
namespace stream {

struct SendCounts {
  uint64_t sends = 0;      // bundles, or with --no-bundle message sets
  uint64_t datagrams = 0;  // datagrams the system took
  uint64_t refused = 0;    // the destination refused an earlier one
  uint64_t dropped = 0;    // the socket's queue was full
  uint64_t failed = 0;     // any other error
};

class VmcSender {
 public:
  // Resolves the destination's host (IPv4) and makes its socket; null, and
  // error says why, when that fails.
  static std::unique_ptr<VmcSender> Open(const Destination& destination, bool bundle, std::string& error);
  virtual ~VmcSender() = default;

  virtual void Send(const std::vector<OscMessage>& messages) = 0;
  virtual SendCounts counts() const = 0;
  const Destination& destination() const { return destination_; }

 protected:
  explicit VmcSender(Destination destination) : destination_(std::move(destination)) {}

 private:
  Destination destination_;
};

}  // namespace stream
}  // namespace ZEMBRA
