// One driver object held by a GloveSession, against simulated receivers in
// a device tree of the test's own: found, opened, streamed, refused a second
// open, closed; a receiver of another performer opened for its hand; a
// pairing confirmed through the listener; failures that leave nothing open.
// Threaded: poses and events arrive on the driver's threads.
#include "driver/client/glove_session.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "driver/client/receivers.h"
#include "platform/sysfs_attribute.h"
#include "tests/client/client_test_support.h"

namespace ZEMBRA {
namespace client {
namespace {

using namespace std::chrono_literals;

// Records what the session hands on; called on the driver's threads.
class RecordingListener final : public SessionListener {
 public:
  void OnPose(const Pose& pose) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++poses_;
    if (pose.type != expectedHand_) ++wrongHand_;
  }
  void OnEvent(const IMUEvent& event) override {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(event);
  }
  void Expect(HandType hand) { expectedHand_ = hand; }
  size_t poses() {
    std::lock_guard<std::mutex> lock(mutex_);
    return poses_;
  }
  size_t wrongHand() {
    std::lock_guard<std::mutex> lock(mutex_);
    return wrongHand_;
  }
  std::vector<IMUEvent> events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }

 private:
  std::mutex mutex_;
  size_t poses_ = 0;
  size_t wrongHand_ = 0;
  HandType expectedHand_ = Hand_Left;
  std::vector<IMUEvent> events_;
};

using GloveSessionTest = clienttest::DeviceTreeTest;

TEST_F(GloveSessionTest, FindsOpensStreamsRefusesASecondOpenAndCloses) {
  auto receiver = PlugIn(Hand_Right, "ttyUSB0", "ZEMBRA-RH0-0001");
  RecordingListener listener;
  listener.Expect(Hand_Right);
  GloveSession session(listener);
  EXPECT_EQ(session.initError(), IMUError_None);

  PortInfo info;
  ASSERT_EQ(session.Detect(Hand_Right, info), IMUError_None);
  EXPECT_EQ(info.port_name, Node("ttyUSB0"));
  EXPECT_EQ(info.instance_id, "USB\\VID_0403&PID_6001\\ZEMBRA-RH0-0001");
  EXPECT_EQ(info.baud_rate, kBaudRate);
  EXPECT_EQ(info.hand, Hand_Right);

  ASSERT_EQ(session.Open(info), IMUError_None);
  ASSERT_TRUE(clienttest::WaitFor([&] { return listener.poses() > 50; }));
  EXPECT_EQ(listener.wrongHand(), 0u);
  EXPECT_EQ(session.Open(info), IMUError_PortAccessDenied) << "one port per session";
  // The right hand's channel rule: the driver was told the hand.
  EXPECT_EQ(receiver->channel() % 4, 1);

  // The other commands through the driver.
  EIMUError err = IMUError_None;
  session.driver().Vibrate(err);
  EXPECT_EQ(err, IMUError_None);
  EXPECT_TRUE(receiver->WaitFor([](const sim::Statistics& s, sim::ReceiverState) { return s.vibrations == 1; }, 5s));
  ASSERT_EQ(session.SetLatencyTimer(info), IMUError_None);
  EXPECT_EQ(platform::ReadAttribute(tree_.LatencyTimerPath("ttyUSB0")), "1");

  EXPECT_EQ(session.Close(), IMUError_None);
  // Closed means the reader thread has been joined: nothing more arrives.
  const size_t afterClose = listener.poses();
  EXPECT_EQ(session.Close(), IMUError_PortNotOpen);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(listener.poses(), afterClose);

  // The port is free for the next client.
  RecordingListener next;
  next.Expect(Hand_Right);
  GloveSession again(next);
  ASSERT_EQ(again.Open(info), IMUError_None);
  EXPECT_TRUE(clienttest::WaitFor([&] { return next.poses() > 0; }));
}  // `again` closes its port by itself

TEST_F(GloveSessionTest, AReceiverOfAnotherPerformerIsOpenedForItsHand) {
  auto first = PlugIn(Hand_Left, "ttyUSB0", "ZEMBRA-LH0-0000");
  auto second = PlugIn(Hand_Left, "ttyUSB1", "ZEMBRA-LH1-0002");
  const std::vector<Receiver> receivers = ListReceivers();
  ASSERT_EQ(receivers.size(), 2u);
  ASSERT_EQ(receivers[1].performer, 1);

  RecordingListener listener;
  GloveSession session(listener);
  ASSERT_EQ(session.Open(receivers[1].port), IMUError_None);
  ASSERT_TRUE(clienttest::WaitFor([&] { return listener.poses() > 20; }));
  EXPECT_EQ(listener.wrongHand(), 0u);
  EXPECT_EQ(second->channel() % 4, 3) << "the left hand's channel rule";
  EXPECT_EQ(first->channel(), 0) << "performer 0's receiver is left alone";
}

TEST_F(GloveSessionTest, APairingIsConfirmedThroughTheListener) {
  auto receiver = PlugIn(Hand_Left, "ttyUSB0", "ZEMBRA-LH0-0000");
  RecordingListener listener;
  GloveSession session(listener);
  PortInfo info;
  ASSERT_EQ(session.Detect(Hand_Left, info), IMUError_None);
  ASSERT_EQ(session.StartPairing(7, info), IMUError_None);
  ASSERT_TRUE(clienttest::WaitFor([&] { return !listener.events().empty(); }));
  const IMUEvent event = listener.events().front();
  EXPECT_EQ(event.type, IMUEvent_Paired);
  EXPECT_EQ(event.hand, Hand_Left);
  const sim::Statistics stats = receiver->stats();
  ASSERT_EQ(stats.pairings.size(), 1u);
  EXPECT_EQ(stats.pairings[0].channel, 7);
  EXPECT_EQ(session.Close(), IMUError_None);
}

TEST_F(GloveSessionTest, FailuresAreReportedAndLeaveNothingBehind) {
  const size_t threads = clienttest::ThreadCount(), descriptors = clienttest::DescriptorCount();
  {
    RecordingListener listener;
    GloveSession session(listener);
    PortInfo info;
    EXPECT_EQ(session.Detect(Hand_Left, info), IMUError_PortNotFound);
    EXPECT_EQ(info.hand, Hand_Left);
    EXPECT_EQ(session.Close(), IMUError_PortAccessDenied) << "nothing was opened";
    info.port_name = Node("ttyUSB9");
    EXPECT_EQ(session.Open(info), IMUError_PortAccessDenied);
    EXPECT_EQ(session.SwitchToRSSIScan(), IMUError_PortNotOpen);
  }
  EXPECT_EQ(clienttest::ThreadCount(), threads);
  EXPECT_EQ(clienttest::DescriptorCount(), descriptors);
}

}  // namespace
}  // namespace client
}  // namespace ZEMBRA
