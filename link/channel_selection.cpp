#include "driver/link/channel_selection.h"

#include <algorithm>

namespace ZEMBRA {
namespace link {

namespace {

bool Fits(const std::vector<protocol::ChannelNoise>& list, int index, bool rightHand) {
  return index >= 0 && size_t(index) < list.size() && protocol::ChannelFitsHand(list[size_t(index)].channel, rightHand);
}

int Wrap(const std::vector<protocol::ChannelNoise>& list, int limit) { return std::min(limit, int(list.size())); }

}  // namespace

int SelectSetupIndex(const std::vector<protocol::ChannelNoise>& list, int index, bool rightHand) {
  const int wrap = Wrap(list, kSetupWrap);
  if (wrap == 0) return -1;
  index = ((index % wrap) + wrap) % wrap;
  for (int step = 0; step < wrap; ++step) {
    if (Fits(list, index, rightHand)) return index;
    index = (index + 1) % wrap;
  }
  return -1;
}

int SelectReconnectIndex(const std::vector<protocol::ChannelNoise>& list, int index, bool rightHand) {
  const int wrap = Wrap(list, kReconnectWrap);
  if (wrap == 0) return -1;
  int candidate = index;
  for (int step = 0; step < wrap; ++step) {
    candidate = ((candidate + 1) % wrap + wrap) % wrap;
    if (Fits(list, candidate, rightHand)) return candidate;
  }
  return Fits(list, index, rightHand) ? index : -1;
}

}  // namespace link
}  // namespace ZEMBRA
