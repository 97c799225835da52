// Which receiver serves which hand. A receiver's instance identifier carries
// "LH" or "RH"; the match is a case-sensitive substring search and the first
// port in enumeration order wins, so with two left-hand receivers plugged in
// the same one is always chosen.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/port_enum.h"
#include "protocol/hand_model.h"
#include "zembra/Pose.h"

namespace ZEMBRA {
namespace discovery {

// The tag of a hand, or null for a value that is neither hand.
inline const char* HandTag(HandType hand) {
  switch (hand) {
    case Hand_Left:
      return protocol::kLeftReceiverTag.data();
    case Hand_Right:
      return protocol::kRightReceiverTag.data();
  }
  return nullptr;
}

inline bool ServesHand(const platform::PortEntry& port, HandType hand) {
  const char* tag = HandTag(hand);
  return tag != nullptr && port.instance_id.find(tag) != std::string::npos;
}

// Index of the first port that serves the hand.
inline std::optional<size_t> FindHandPort(const std::vector<platform::PortEntry>& ports, HandType hand) {
  for (size_t i = 0; i < ports.size(); ++i) {
    if (ServesHand(ports[i], hand)) return i;
  }
  return std::nullopt;
}

}  // namespace discovery
}  // namespace ZEMBRA
