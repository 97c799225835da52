// A hand's state in the configuration tool, event by event, without a
// window or an event loop: what the icon, the ready label, the watchdog and
// the monitor's port follow.
#include "tool/hand_state.h"

#include <gtest/gtest.h>

namespace {

using Activity = HandState::Activity;
using Icon = HandState::Icon;
using Link = HandState::Link;

HandState Streaming() {
  HandState state;
  state.ReceiverFound();
  EXPECT_TRUE(state.Pose());
  return state;
}

TEST(HandState, TheLinkFollowsReportsAndTheWatchdog) {
  HandState state;
  EXPECT_EQ(state.icon(), Icon::NotPaired);
  EXPECT_FALSE(state.WatchdogFired()) << "nothing to search again before the receiver was found";
  state.ReceiverMissing();
  EXPECT_EQ(state.icon(), Icon::NotFound);
  state.ReceiverFound();
  EXPECT_EQ(state.link(), Link::NoData);
  EXPECT_TRUE(state.Pose());
  EXPECT_EQ(state.icon(), Icon::Paired);
  // A search that finds the receiver again leaves a delivering glove alone.
  state.ReceiverFound();
  EXPECT_TRUE(state.streaming());
  EXPECT_TRUE(state.WatchdogFired());
  EXPECT_EQ(state.icon(), Icon::NotPaired);
  EXPECT_TRUE(state.receiverFound());
}

TEST(HandState, AHandWhoseReceiverIsGoneIsNotPairedInEveryActivity) {
  for (int activity = 0; activity < 3; ++activity) {
    HandState state = Streaming();
    const bool began = activity == 0   ? state.BeginPairing()
                       : activity == 1 ? state.BeginDemo()
                                       : state.BeginRecording();
    ASSERT_TRUE(began);
    state.ReceiverMissing();
    EXPECT_FALSE(state.streaming()) << activity;
    EXPECT_EQ(state.icon(), Icon::NotFound) << activity;
    state.EndPairing();
    state.EndDemo();
    state.EndRecording();
    EXPECT_FALSE(state.streaming()) << activity;
    EXPECT_EQ(state.Describe(), "receiver not found");
  }
}

TEST(HandState, OneOwnerOfThePortAtATime) {
  HandState state = Streaming();
  ASSERT_TRUE(state.BeginPairing());
  EXPECT_TRUE(state.portHeld());
  EXPECT_FALSE(state.watchdogRuns());
  EXPECT_FALSE(state.BeginDemo());
  EXPECT_FALSE(state.BeginRecording());
  EXPECT_FALSE(state.BeginPairing());
  EXPECT_EQ(state.activity(), Activity::Pairing);
  // Ending what is not running changes nothing.
  state.EndDemo();
  state.EndRecording();
  EXPECT_EQ(state.activity(), Activity::Pairing);
  // Poses from before the port was closed count for nothing now.
  EXPECT_FALSE(state.Pose());
  EXPECT_EQ(state.icon(), Icon::Paired) << "the icon stays as it was while the dialog has the port";

  HandState recording = Streaming();
  ASSERT_TRUE(recording.BeginRecording());
  EXPECT_FALSE(recording.portHeld());
  EXPECT_TRUE(recording.watchdogRuns());
  EXPECT_TRUE(recording.Pose());
  EXPECT_FALSE(recording.BeginPairing());
  EXPECT_FALSE(recording.BeginDemo());
  EXPECT_EQ(recording.Describe(), "streaming, recording");
}

TEST(HandState, ThePortIsReleasedOnceAndComesBackWithoutData) {
  HandState state = Streaming();
  EXPECT_FALSE(state.PortReleased()) << "a close nobody asked for starts nothing";
  ASSERT_TRUE(state.BeginDemo());
  EXPECT_FALSE(state.portFree());
  EXPECT_TRUE(state.PortReleased());
  EXPECT_FALSE(state.PortReleased()) << "a second report starts nothing twice";
  EXPECT_TRUE(state.portFree());
  EXPECT_EQ(state.Describe(), "in the demo");
  state.EndDemo();
  // The glove delivered before the demo, not since: it counts again when a
  // pose says so.
  EXPECT_EQ(state.link(), Link::NoData);
  EXPECT_FALSE(state.streaming());
  EXPECT_FALSE(state.portFree());
  EXPECT_TRUE(state.watchdogRuns());
  // Reports of the port from before the demo may still arrive: poses count
  // again once the search that reopens it has reported.
  EXPECT_FALSE(state.Pose());
  EXPECT_FALSE(state.streaming());
  state.ReceiverFound();
  EXPECT_TRUE(state.Pose());

  // A recording hands the port back as it had it: still delivering.
  ASSERT_TRUE(state.BeginRecording());
  state.EndRecording();
  EXPECT_TRUE(state.streaming());
}

}  // namespace
