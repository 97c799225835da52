#include "link/channel_selection.h"

#include <algorithm>
#include <random>

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

bool SuitsPluginHand(int32_t channel, bool rightHand) {
  return protocol::ChannelFitsHand(channel, rightHand) && !ExcludedByPlugin(channel, rightHand);
}

std::vector<int32_t> QuietCandidates(const std::vector<protocol::ChannelNoise>& list, bool rightHand) {
  std::vector<int32_t> candidates;
  for (const protocol::ChannelNoise& entry : list) {
    if (!(entry.noise < kQuietBelow)) break;
    if (SuitsPluginHand(entry.channel, rightHand)) candidates.push_back(entry.channel);
  }
  return candidates;
}

int32_t DrawQuietChannel(const std::vector<protocol::ChannelNoise>& list, bool rightHand, uint32_t seed) {
  const std::vector<int32_t> candidates = QuietCandidates(list, rightHand);
  if (candidates.empty()) return 0;
  std::mt19937 random(seed);
  return candidates[random() % candidates.size()];
}

int32_t QuietestSuiting(const std::vector<protocol::ChannelNoise>& list, bool rightHand) {
  for (const protocol::ChannelNoise& entry : list) {
    if (SuitsPluginHand(entry.channel, rightHand)) return entry.channel;
  }
  return 0;
}

}  // namespace link
}  // namespace ZEMBRA
