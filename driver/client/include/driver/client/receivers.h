// The glove receivers plugged into this machine, as every client of the
// driver sees them. A receiver's device instance identifier (on Linux its
// USB serial number) carries its hand's tag, "LH" or "RH", and, where
// several pairs of gloves share the machine, the performer's index right
// behind it: "LH1" and "RH1" are performer 1's pair; "LH0", or a bare "LH",
// is performer 0's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zembra/ZEMBRAIMU.h"

namespace ZEMBRA {
namespace client {

// The line speed every receiver runs at.
constexpr int32_t kBaudRate = 1000000;

struct ReceiverTag {
  HandType hand = Hand_Left;
  int performer = 0;
};

// The hand and performer an instance identifier names; none when it carries
// neither tag. The tags are case-sensitive, as the driver's discovery
// matches them; when both occur the first one counts. The performer is the
// one or two digits right behind the tag; without them, or when more digits
// follow (a serial number such as "LH0001"), it is 0.
std::optional<ReceiverTag> ReadReceiverTag(std::string_view instanceId);

struct Receiver {
  PortInfo port;  // the four strings of the port, baud_rate kBaudRate, hand
  HandType hand = Hand_Left;
  int performer = 0;
  std::string serial;  // the identifier's last part, the receiver's USB serial number
};

// Every receiver present, both hands and every performer, in the driver's
// port order (the first of a hand is the one DetectGlovePort chooses). Reads
// the device tree named by ZEMBRA_SYSFS_ROOT and ZEMBRA_DEV_ROOT, as the
// driver does; never throws.
std::vector<Receiver> ListReceivers();

// Whether a port with this name and instance identifier is present now.
bool PortPresent(const PortInfo& port);

}  // namespace client
}  // namespace ZEMBRA
