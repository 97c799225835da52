// Which radio channel of the sorted noise list a link uses: the driver's
// set-up and reconnect rules (the next fitting entry in sorted order) and
// the plug-in's random quiet channel with its exclusions.
//
// Pure functions over the list, all in one place; the bounds mend what the
// receiver's normal 100-channel report never exercises: a short list, or one
// without any channel for the hand, never loops forever or reads past the
// end.
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

// The plug-in's choice. A channel counts as quiet below this noise level.
constexpr float kQuietBelow = 1.0f;

// Channels the plug-in never gives a hand's glove, whatever their noise: 79
// and 89 for the left hand, 81 and 91 for the right.
constexpr bool ExcludedByPlugin(int32_t channel, bool rightHand) {
  return rightHand ? (channel == 81 || channel == 91) : (channel == 79 || channel == 89);
}
// Fits the hand's channel rule and is not excluded.
bool SuitsPluginHand(int32_t channel, bool rightHand);

// The channels of the leading quiet entries (counting stops at the first
// entry that is not quiet) that suit the hand, in list order.
std::vector<int32_t> QuietCandidates(const std::vector<protocol::ChannelNoise>& list, bool rightHand);

// One of the quiet candidates, drawn with a generator seeded with seed; 0
// when there is none.
int32_t DrawQuietChannel(const std::vector<protocol::ChannelNoise>& list, bool rightHand, uint32_t seed);

// The first entry that suits the hand, quiet or not; 0 when none does.
int32_t QuietestSuiting(const std::vector<protocol::ChannelNoise>& list, bool rightHand);

}  // namespace link
}  // namespace ZEMBRA
