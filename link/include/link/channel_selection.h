// Which radio channel of the sorted noise list the link uses.
//
// Pure functions over the list; the bounds mend what the receiver's normal
// 100-channel report never exercises: a short list, or one without any
// channel for the hand, never loops forever or reads past the end.
#pragma once

#include <cstdint>
#include <vector>

#include "protocol/channel_report.h"

namespace ZEMBRA {
namespace link {

constexpr int kSetupWrap = 60;      // only the 60 quietest channels are chosen at set-up
constexpr int kReconnectWrap = 55;  // reconnects cycle through the 55 quietest

// The channel a hand uses when the report offers none for it.
constexpr int32_t FallbackChannel(bool rightHand) { return rightHand ? 1 : 3; }

// Set-up: from index on, the first fitting entry, advancing modulo the wrap
// (or the list's length when shorter). Returns -1 when no entry within reach
// fits the hand.
int SelectSetupIndex(const std::vector<protocol::ChannelNoise>& list, int index, bool rightHand);

// Reconnect: advance at least once, then on to the next fitting entry,
// modulo 55 (or the list's length). Returns the current index unchanged when
// no other entry fits, -1 when nothing fits at all.
int SelectReconnectIndex(const std::vector<protocol::ChannelNoise>& list, int index, bool rightHand);

}  // namespace link
}  // namespace ZEMBRA
