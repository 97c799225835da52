// The pose engine behind a real link: bursts written to a pseudo-terminal
// reach the handler as the poses the engine computes, with the client's
// context, and the calibration command behaves by hand.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "driver/ZEMBRAIMUImpl.h"
#include "tests/support/pose_fixtures.h"
#include "tests/support/pty_pair.h"
#include "tests/support/recording_handler.h"
#include "tests/support/stdout_capture.h"

namespace ZEMBRA {
namespace {

using namespace std::chrono_literals;
using namespace testsupport;

class PoseLinkTest : public ::testing::Test {
 protected:
  void Open(HandType hand) {
    ASSERT_TRUE(pty_.ok());
    EIMUError err = IMUError_OperationFailed;
    driver_ = std::make_unique<ZEMBRAIMUImpl>(err, 1, nullptr);
    driver_->engine().SetHand(hand);
    IZEMBRAIMUEventHandler* handler = new RecordingHandler(recording_);
    driver_->RegisterIMUDataCallback(handler, &context_);
    ASSERT_TRUE(pty_.Write(MakeReport(std::vector<float>(100, 1.0f))));
    PortInfo info;
    info.port_name = pty_.path();
    info.baud_rate = 1000000;
    info.hand = hand;
    StdoutCapture quiet;
    driver_->OpenPort(err, info);
    quiet.Stop();
    ASSERT_EQ(err, IMUError_None);
    ASSERT_EQ(pty_.Read(2, 2000ms).substr(0, 1), "j");
  }

  void TearDown() override {
    if (!driver_) return;
    EIMUError err = IMUError_None;
    StdoutCapture quiet;
    driver_->ClosePort(err);
    driver_.reset();
  }

  // One burst, then an idle gap longer than the read's inter-byte time-out.
  void Send(const std::vector<uint8_t>& burst) {
    ASSERT_TRUE(pty_.Write(std::string(burst.begin(), burst.end())));
    std::this_thread::sleep_for(20ms);
  }

  PtyPair pty_;
  Recording recording_;
  int context_ = 0;
  std::unique_ptr<ZEMBRAIMUImpl> driver_;
};

TEST_F(PoseLinkTest, DeliveredPosesAreTheEnginesWithTheClientsContext) {
  Open(Hand_Right);
  std::mt19937 rng(31);
  std::vector<std::vector<uint8_t>> bursts;
  for (Burst kind : {Burst::UUPU, Burst::UU, Burst::PU, Burst::PUUU}) {
    StatusBlock status;
    status.selector = int8_t(bursts.size());
    status.slotValue = int8_t(10 + bursts.size());
    status.value = 2.5f;
    bursts.push_back(BuildBurst(kind, RandomReadings(rng), status));
  }
  // A burst whose wrist record fails its check byte: no pose for it.
  std::vector<uint8_t> bad = BuildBurst(Burst::PU, RandomReadings(rng));
  bad[size_t(RecordOffset(Burst::PU, 5) + 16)] ^= 0x55;

  pose::PoseEngine reference;
  reference.SetHand(Hand_Right);
  std::vector<Pose> expected;
  for (const auto& b : bursts) {
    Pose pose{};
    ASSERT_EQ(reference.ProcessPacket(b.data(), b.size(), pose), pose::PoseEngine::Outcome::Pose);
    expected.push_back(pose);
  }

  for (const auto& b : bursts) Send(b);
  Send(bad);
  ASSERT_TRUE(recording_.WaitFor(2000ms, [&] { return recording_.poses.size() >= bursts.size(); }));
  std::this_thread::sleep_for(100ms);  // the bad burst must not add a pose

  std::lock_guard<std::mutex> lock(recording_.mutex);
  ASSERT_EQ(recording_.poses.size(), bursts.size());
  for (size_t n = 0; n < bursts.size(); ++n) {
    EXPECT_EQ(0, std::memcmp(&recording_.poses[n], &expected[n], sizeof(Pose))) << "pose " << n;
    EXPECT_EQ(recording_.contexts[n], &context_);
    EXPECT_EQ(recording_.poses[n].type, Hand_Right);
  }
}

TEST_F(PoseLinkTest, SaveCalibrationMessageDependsOnTheHand) {
  const std::pair<HandType, std::string> cases[] = {
      {Hand_Left, "Saving Calibration for left hand glove, please wait..."},
      {Hand_Right, "Saving Calibration for right hand glove, please wait..."},
      {HandType(0), ""},
  };
  for (const auto& [hand, message] : cases) {
    Open(hand);
    StdoutCapture capture;
    EIMUError err = IMUError_OperationFailed;
    driver_->OnSaveCalibration(err);
    EXPECT_EQ(capture.Stop(), message) << "hand " << int(hand);
    EXPECT_EQ(err, IMUError_None) << "hand " << int(hand);
    EXPECT_EQ(pty_.Read(1, 500ms), "c") << "hand " << int(hand);
    TearDown();
  }
}

}  // namespace
}  // namespace ZEMBRA
