// Both gloves end to end: two simulated receivers registered in a device
// tree of the test's own, found by discovery alone, opened, streamed for a
// few seconds; the poses arrive at the simulator's rate and their finger
// bends follow the simulator's hand model.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

#include "driver/ZEMBRAIMUImpl.h"
#include "driver/pose/quat_math.h"
#include "sim/receiver_simulator.h"
#include "sim/sysfs_tree.h"
#include "tests/support/recording_handler.h"
#include "tests/support/stdout_capture.h"
#include "tests/support/temp_dir.h"

namespace ZEMBRA {
namespace {

using namespace std::chrono_literals;
using testsupport::Recording;
using testsupport::RecordingHandler;

class TempTree {
 public:
  std::string sys() const { return dir_.path() + "/sys"; }
  std::string dev() const { return dir_.path() + "/dev"; }

 private:
  testsupport::TempDir dir_{"zembra-stream"};
};

struct Hand {
  HandType type;
  const char* tag;
  std::unique_ptr<sim::ReceiverSimulator> receiver;
  Recording recording;
  std::unique_ptr<ZEMBRAIMUImpl> driver;
};

TEST(GloveStream, BothHandsFoundByDiscoveryStreamTheModelsMotion) {
  TempTree tree;
  sim::SysfsTree sysfs(tree.sys(), tree.dev());
  Hand hands[2] = {{Hand_Left, "LH", nullptr, {}, nullptr}, {Hand_Right, "RH", nullptr, {}, nullptr}};
  int index = 0;
  for (Hand& hand : hands) {
    sim::SimulatorConfig config;
    config.hand = hand.type;
    config.burstRate = 200;
    hand.receiver = std::make_unique<sim::ReceiverSimulator>(config);
    sim::UsbSerialReceiver entry;
    entry.name = "ttyUSB" + std::to_string(index);
    entry.serial = std::string("ZEMBRA-") + hand.tag + "-000" + std::to_string(index);
    entry.product = "ZEMBRA glove receiver";
    entry.node_target = hand.receiver->PortPath();
    ASSERT_TRUE(sysfs.AddUsbSerial(entry)) << sysfs.error();
    ++index;
  }
  ::setenv("ZEMBRA_SYSFS_ROOT", tree.sys().c_str(), 1);
  ::setenv("ZEMBRA_DEV_ROOT", tree.dev().c_str(), 1);

  testsupport::StdoutCapture capture;
  for (Hand& hand : hands) {
    EIMUError err = IMUError_None;
    hand.driver = std::make_unique<ZEMBRAIMUImpl>(err, 1, nullptr);
    IZEMBRAIMUEventHandler* handler = new RecordingHandler(hand.recording);
    hand.driver->RegisterIMUDataCallback(handler, &hand);
    PortInfo info;
    info.hand = hand.type;
    info.baud_rate = 1000000;
    hand.driver->DetectGlovePort(err, info);
    ASSERT_EQ(err, IMUError_None);
    EXPECT_NE(info.instance_id.find(hand.tag), std::string::npos);
    hand.driver->OpenPort(err, info);
    ASSERT_EQ(err, IMUError_None);
  }

  // Settle, then count over a measured window.
  std::this_thread::sleep_for(500ms);
  size_t before[2], sentBefore[2];
  for (int h = 0; h < 2; ++h) {
    before[h] = hands[h].recording.poseCount();
    sentBefore[h] = hands[h].receiver->stats().burstsSent;
  }
  std::this_thread::sleep_for(2s);
  for (int h = 0; h < 2; ++h) {
    const size_t delivered = hands[h].recording.poseCount() - before[h];
    const size_t sent = hands[h].receiver->stats().burstsSent - sentBefore[h];
    EXPECT_GT(sent, 300u) << "hand " << h;
    // One pose per burst: nothing lost, nothing invented.
    EXPECT_NEAR(double(delivered), double(sent), 0.05 * double(sent) + 3) << "hand " << h;
  }

  for (Hand& hand : hands) {
    EIMUError err;
    hand.driver->ClosePort(err);
    EXPECT_EQ(err, IMUError_None);
  }
  capture.Stop();

  for (Hand& hand : hands) {
    std::lock_guard<std::mutex> lock(hand.recording.mutex);
    ASSERT_GT(hand.recording.poses.size(), 100u);
    EXPECT_EQ(hand.recording.contexts.front(), &hand);
    double worst = 0;
    for (const Pose& pose : hand.recording.poses) {
      EXPECT_EQ(pose.type, hand.type);
      const sim::HandFrame frame = hand.receiver->BurstFrame(uint64_t(pose.statusValue));
      for (int finger = 0; finger < 4; ++finger) {
        const float bend = pose::RelZ(pose.joints[finger], pose.joints[Joint_Wrist]);
        worst = std::max(worst, std::fabs(double(bend) + frame.bend[size_t(finger)]));
      }
    }
    EXPECT_LT(worst, 0.1) << "long-finger bends stray from the model by up to " << worst << " degrees";
    // The driver's own finger values are those of its last pose, negative
    // for the model's curled fingers.
    const Pose& last = hand.recording.poses.back();
    const sim::HandFrame frame = hand.receiver->BurstFrame(uint64_t(last.statusValue));
    for (int finger = 0; finger < 5; ++finger) {
      EIMUError err;
      EXPECT_NEAR(hand.driver->GetFingerValue(finger, err), -frame.bend[size_t(finger)], 0.1) << finger;
    }
  }
  ::unsetenv("ZEMBRA_SYSFS_ROOT");
  ::unsetenv("ZEMBRA_DEV_ROOT");
}

}  // namespace
}  // namespace ZEMBRA
