#include "driver/link/channel_selection.h"

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

}  // namespace
}  // namespace link
}  // namespace ZEMBRA
