// The hand viewer's live feed against a simulated receiver found by
// discovery: the newest pose handed over without waiting, a receiver that
// comes late found on a later look, and the feed's end bounded whether or
// not a receiver was ever there. Threaded: it runs under ThreadSanitizer.
#include "tool/viewer/glove_feed.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "sim/packet_builder.h"
#include "sim/receiver_simulator.h"
#include "sim/sysfs_tree.h"
#include "tests/support/temp_dir.h"
#include "tool/viewer/latest_value.h"

namespace ZEMBRA {
namespace viewer {
namespace {

using namespace std::chrono_literals;

class GloveFeedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("ZEMBRA_SYSFS_ROOT", tree_.sysfsRoot().c_str(), 1);
    setenv("ZEMBRA_DEV_ROOT", tree_.devRoot().c_str(), 1);
  }
  void TearDown() override {
    unsetenv("ZEMBRA_SYSFS_ROOT");
    unsetenv("ZEMBRA_DEV_ROOT");
  }

  std::unique_ptr<sim::ReceiverSimulator> PlugIn() {
    sim::SimulatorConfig config;
    config.hand = protocol::kLeftHand;
    auto receiver = std::make_unique<sim::ReceiverSimulator>(config);
    sim::UsbSerialReceiver usb;
    usb.serial = "ZEMBRA-LH-0001";
    usb.node_target = receiver->PortPath();
    EXPECT_TRUE(tree_.AddUsbSerial(usb)) << tree_.error();
    return receiver;
  }

  template <typename Pred>
  static bool WaitFor(Pred pred, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(10ms);
    }
    return true;
  }

  testsupport::TempDir dir_;
  sim::SysfsTree tree_{dir_.path() + "/sys", dir_.path() + "/dev"};
};

TEST_F(GloveFeedTest, TheNewestPoseIsHandedOverAndTheEndReleasesThePort) {
  auto receiver = PlugIn();
  {
    GloveFeed feed(Hand_Left);
    ASSERT_TRUE(WaitFor([&] { return feed.poseCount() > 100; }, 10s));
    EXPECT_EQ(feed.state(), GloveFeed::State::Open);
    Pose pose{};
    ASSERT_TRUE(feed.TakePose(pose));
    // Only poses newer than the one taken come out: their bursts follow.
    const uint64_t first = sim::SequenceFromStatusValue(pose.statusValue);
    ASSERT_TRUE(WaitFor([&] { return feed.TakePose(pose); }, 2s));
    EXPECT_GT(sim::SequenceFromStatusValue(pose.statusValue), first);
    EXPECT_EQ(pose.type, Hand_Left);
  }
  // Closed: the port can be opened again by the next client.
  GloveFeed again(Hand_Left);
  EXPECT_TRUE(WaitFor([&] { return again.poseCount() > 0; }, 10s));
}

TEST_F(GloveFeedTest, AReceiverThatComesLateIsFoundAndAMissingOneEndsQuickly) {
  {
    GloveFeed feed(Hand_Left, 100ms);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(feed.state(), GloveFeed::State::NoReceiver);
    EXPECT_EQ(feed.poseCount(), 0u);
    auto receiver = PlugIn();
    EXPECT_TRUE(WaitFor([&] { return feed.poseCount() > 0; }, 10s));
  }
  const auto start = std::chrono::steady_clock::now();
  { GloveFeed nothing(Hand_Right, 10s); }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "the end does not wait out the retry";
}

TEST(LatestValue, AReaderSeesOnlyWholeValuesAndNeverGoesBack) {
  struct Pair {
    uint64_t a = 0, b = 0;
  };
  LatestValue<Pair> latest;
  constexpr uint64_t kCount = 200000;
  std::thread writer([&] {
    for (uint64_t i = 1; i <= kCount; ++i) latest.Put({i, ~i});
  });
  uint64_t last = 0;
  Pair p;
  while (last < kCount) {
    if (!latest.Take(p)) continue;
    ASSERT_EQ(p.b, ~p.a) << "a torn value";
    ASSERT_GT(p.a, last);
    last = p.a;
  }
  writer.join();
  EXPECT_FALSE(latest.Take(p));
}

}  // namespace
}  // namespace viewer
}  // namespace ZEMBRA
