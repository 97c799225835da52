#include "link/channel_selection.h"

#include <gtest/gtest.h>

namespace ZEMBRA {
namespace link {
namespace {

std::vector<protocol::ChannelNoise> List(std::initializer_list<int32_t> channels) {
  std::vector<protocol::ChannelNoise> list;
  float noise = 0.1f;
  for (int32_t c : channels) list.push_back({noise += 0.1f, c});
  return list;
}

// A full report: channels 1..100 in noise order 100, 99, ..., 1.
std::vector<protocol::ChannelNoise> FullList() {
  std::vector<protocol::ChannelNoise> list;
  for (int32_t c = 100; c >= 1; --c) list.push_back({float(101 - c), c});
  return list;
}

TEST(ChannelSelection, SetupTakesTheFirstFittingEntryForEachHand) {
  const auto list = List({8, 12, 7, 9});
  EXPECT_EQ(SelectSetupIndex(list, 0, /*rightHand=*/false), 2);  // 7 % 4 == 3
  EXPECT_EQ(SelectSetupIndex(list, 0, /*rightHand=*/true), 3);   // 9 % 4 == 1
}

TEST(ChannelSelection, SetupOnlyLooksAtTheSixtyQuietest) {
  // Nothing among the first 60 fits the left hand; entry 60 would.
  std::vector<protocol::ChannelNoise> list;
  for (int i = 0; i < 60; ++i) list.push_back({float(i), 4});
  list.push_back({61.0f, 7});
  EXPECT_EQ(SelectSetupIndex(list, 0, false), -1);
  // Starting past the window wraps back into it.
  list[5].channel = 11;
  EXPECT_EQ(SelectSetupIndex(list, 59, false), 5);
}

TEST(ChannelSelection, ShortOrUnfittingListsNeverIndexOutOfRange) {
  EXPECT_EQ(SelectSetupIndex({}, 0, false), -1);
  EXPECT_EQ(SelectReconnectIndex({}, 0, true), -1);
  const auto evenOnly = List({2, 4, 6});
  EXPECT_EQ(SelectSetupIndex(evenOnly, 0, true), -1);
  EXPECT_EQ(SelectReconnectIndex(evenOnly, 1, true), -1);
  // A short list wraps at its own length.
  const auto shortList = List({3, 8, 11});
  EXPECT_EQ(SelectReconnectIndex(shortList, 2, false), 0);
  EXPECT_EQ(SelectReconnectIndex(shortList, 0, false), 2);
}

TEST(ChannelSelection, ReconnectMovesToTheNextFittingChannelAndWrapsAt55) {
  const auto list = FullList();  // position p holds channel 100 - p
  const bool right = true;
  int index = SelectSetupIndex(list, 0, right);
  ASSERT_GE(index, 0);
  EXPECT_EQ(list[size_t(index)].channel % 4, 1);
  std::vector<int> visited{index};
  for (int i = 0; i < 20; ++i) {
    index = SelectReconnectIndex(list, index, right);
    ASSERT_GE(index, 0);
    ASSERT_LT(index, kReconnectWrap);
    EXPECT_EQ(list[size_t(index)].channel % 4, 1);
    visited.push_back(index);
  }
  // Positions 3, 7, ..., 51 fit the right hand below 55: a cycle of 13.
  for (size_t i = 1; i < visited.size(); ++i) EXPECT_NE(visited[i], visited[i - 1]);
  EXPECT_EQ(visited[12], 51);
  EXPECT_EQ(visited[13], visited[0]);
}

TEST(ChannelSelection, ReconnectKeepsTheOnlyFittingChannel) {
  const auto list = List({4, 7, 8});
  EXPECT_EQ(SelectReconnectIndex(list, 1, false), 1);
}

TEST(ChannelSelection, FallbackChannelsFitTheirHand) {
  EXPECT_TRUE(protocol::ChannelFitsHand(FallbackChannel(true), true));
  EXPECT_TRUE(protocol::ChannelFitsHand(FallbackChannel(false), false));
}

// The plug-in's choice over the list (noise, channel) (0.2, 7), (0.5, 11),
// (0.9, 12), (1.3, 3), (0.1, 79): quiet entries that suit the hand, up to
// the first loud one.
TEST(PluginChannelChoice, DrawsOnlyQuietChannelsThatSuitTheHand) {
  std::vector<protocol::ChannelNoise> list = {{0.1f, 79}, {0.2f, 7}, {0.5f, 11}, {0.9f, 12}, {1.3f, 3}, {1.5f, 15}};
  EXPECT_EQ(QuietCandidates(list, /*rightHand=*/false), (std::vector<int32_t>{7, 11}));
  EXPECT_TRUE(QuietCandidates(list, /*rightHand=*/true).empty());
  for (uint32_t seed = 0; seed < 50; ++seed) {
    const int32_t channel = DrawQuietChannel(list, false, seed);
    EXPECT_TRUE(channel == 7 || channel == 11) << channel;
    EXPECT_EQ(channel, DrawQuietChannel(list, false, seed)) << "one seed, one channel";
  }
  EXPECT_EQ(DrawQuietChannel(list, true, 1), 0);
  // Without a quiet one, the quietest that suits: 3 for the left hand.
  EXPECT_EQ(QuietestSuiting({{1.3f, 3}, {1.4f, 79}}, false), 3);
  EXPECT_EQ(QuietestSuiting({{0.2f, 81}, {0.3f, 91}, {0.4f, 8}}, true), 0);
}

TEST(PluginChannelChoice, ExcludesTwoChannelsPerHand) {
  for (int32_t channel = 1; channel <= 100; ++channel) {
    const bool left = channel % 4 == 3 && channel != 79 && channel != 89;
    const bool right = channel % 4 == 1 && channel != 81 && channel != 91;
    EXPECT_EQ(SuitsPluginHand(channel, false), left) << channel;
    EXPECT_EQ(SuitsPluginHand(channel, true), right) << channel;
  }
}

}  // namespace
}  // namespace link
}  // namespace ZEMBRA
