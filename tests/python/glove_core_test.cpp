// The glove the Python module holds, without Python, against simulated
// receivers in a device tree of the test's own: every pose reaches the
// queue with the finger values of that very pose; closing while another
// thread waits ends the wait and every later command; a pairing's event
// reaches the event queue; the open's failures are the driver's codes.
// Threaded: poses arrive on the driver's reader thread.
#include "python/glove_core.h"

#include <gtest/gtest.h>

#include <thread>

#include "sim/packet_builder.h"
#include "tests/client/client_test_support.h"

namespace ZEMBRA {
namespace python {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using GloveCoreTest = clienttest::DeviceTreeTest;
using PoseQueue = DeliveryQueue<DeliveredPose>;

PortInfo ForHand(HandType hand) {
  PortInfo port;
  port.hand = hand;
  return port;
}

TEST_F(GloveCoreTest, EveryPoseComesWithItsOwnFingerValuesAndTime) {
  auto receiver = PlugIn(Hand_Left, "ttyUSB0", "ZEMBRA-LH0-0000");
  GloveOptions options;
  options.queueSize = 2000;
  GloveCore glove(options);
  ASSERT_EQ(glove.Open(ForHand(Hand_Left)), IMUError_None);
  EXPECT_EQ(glove.port().port_name, Node("ttyUSB0"));

  uint64_t previous = 0;
  double worst = 0;
  for (int i = 0; i < 300; ++i) {
    DeliveredPose delivered;
    ASSERT_EQ(glove.poses().Take(delivered, Clock::now() + 10s), PoseQueue::Taken::Value);
    EXPECT_LE(delivered.time, MonotonicSeconds());
    EXPECT_EQ(delivered.pose.type, Hand_Left);
    const uint64_t sequence = sim::SequenceFromStatusValue(delivered.pose.statusValue);
    if (i > 0) {
      EXPECT_GT(sequence, previous);
    }
    previous = sequence;
    const sim::HandFrame frame = receiver->BurstFrame(sequence);
    for (int f = 0; f < kFingerCount; ++f)
      worst = std::max(worst, std::fabs(delivered.fingers[size_t(f)] + frame.bend[size_t(f)]));
  }
  // The model's bends change by tenths of a degree from one burst to the
  // next: the values of a neighbouring pose would stray beyond this.
  EXPECT_LT(worst, 0.05);
  EXPECT_EQ(glove.poses().dropped(), 0u);
}

TEST_F(GloveCoreTest, ClosingEndsAWaitOnAnotherThreadAndEveryLaterCommand) {
  sim::SimulatorConfig quiet;
  quiet.faults.silence = 3600s;  // open, but never a pose
  auto receiver = PlugIn(Hand_Right, "ttyUSB0", "ZEMBRA-RH0-0001", quiet);
  GloveCore glove(GloveOptions{});
  ASSERT_EQ(glove.Open(ForHand(Hand_Right)), IMUError_None);

  std::atomic<int> taken{-1};
  std::thread waiter([&] {
    DeliveredPose pose;
    taken = int(glove.poses().Take(pose, Clock::now() + 60s));
  });
  std::thread events([&] {
    DeliveredEvent event;
    while (glove.events().Take(event, Clock::now() + 60s) != DeliveryQueue<DeliveredEvent>::Taken::Closed) {
    }
  });
  std::this_thread::sleep_for(100ms);  // most likely waiting by now; either way the close must end it
  glove.Close();
  waiter.join();
  events.join();
  EXPECT_EQ(taken.load(), int(PoseQueue::Taken::Closed));
  EXPECT_TRUE(glove.closed());
  double degrees = 0;
  EXPECT_EQ(glove.Vibrate(0ms), IMUError_PortNotOpen);
  EXPECT_EQ(glove.FingerValue(0, degrees), IMUError_PortNotOpen);
  EXPECT_EQ(glove.Pair(80), IMUError_PortNotOpen);
  glove.Close();
}

TEST_F(GloveCoreTest, CommandsReachTheReceiverAndAPairingComesBackAsAnEvent) {
  auto receiver = PlugIn(Hand_Left, "ttyUSB0", "ZEMBRA-LH0-0000");
  GloveCore glove(GloveOptions{});
  ASSERT_EQ(glove.Open(ForHand(Hand_Left)), IMUError_None);
  EXPECT_EQ(glove.Vibrate(0ms), IMUError_None);
  EXPECT_EQ(glove.Vibrate(50ms), IMUError_None);
  EXPECT_EQ(glove.SaveCalibration(), IMUError_None);
  double degrees = 0;
  EXPECT_EQ(glove.FingerValue(4, degrees), IMUError_None);
  EXPECT_EQ(glove.FingerValue(5, degrees), IMUError_IndexOutOfRange);
  EXPECT_TRUE(receiver->WaitFor(
      [](const sim::Statistics& s, sim::ReceiverState) { return s.vibrations >= 2 && s.calibrations == 1; }, 5s));

  ASSERT_EQ(glove.Pair(80), IMUError_None);
  DeliveredEvent event;
  ASSERT_EQ(glove.events().Take(event, Clock::now() + 10s), DeliveryQueue<DeliveredEvent>::Taken::Value);
  EXPECT_EQ(event.event.type, IMUEvent_Paired);
  EXPECT_EQ(event.event.hand, Hand_Left);
  ASSERT_EQ(receiver->stats().pairings.size(), 1u);
  EXPECT_EQ(receiver->stats().pairings[0].channel, 80);
}

TEST_F(GloveCoreTest, OpenFailsWithTheDriversCodes) {
  {
    GloveCore glove(GloveOptions{});
    EXPECT_EQ(glove.Open(ForHand(Hand_Left)), IMUError_PortNotFound);
  }
  auto receiver = PlugIn(Hand_Left, "ttyUSB0", "ZEMBRA-LH0-0000");
  GloveCore first(GloveOptions{});
  ASSERT_EQ(first.Open(ForHand(Hand_Left)), IMUError_None);
  GloveCore second(GloveOptions{});
  EXPECT_EQ(second.Open(ForHand(Hand_Left)), IMUError_PortAccessDenied);
  PortInfo missing = ForHand(Hand_Left);
  missing.port_name = Node("ttyUSB9");
  GloveCore third(GloveOptions{});
  EXPECT_EQ(third.Open(missing), IMUError_PortAccessDenied);
}

}  // namespace
}  // namespace python
}  // namespace ZEMBRA
