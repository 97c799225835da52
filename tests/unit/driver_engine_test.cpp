// The driver object's own state around its pose engine: the mode flag, the
// finger values and the alignment as the client's calls reach them.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "driver/ZEMBRAIMUImpl.h"
#include "tests/support/pose_fixtures.h"

namespace ZEMBRA {
namespace {

using namespace testsupport;

TEST(DriverEngine, ModeTwoStartsInAdvancedModeAndTheFlagCanBeChanged) {
  EIMUError err = IMUError_OperationFailed;
  ZEMBRAIMUImpl advanced(err, 2, nullptr);
  EXPECT_EQ(err, IMUError_None);
  EXPECT_TRUE(advanced.advancedMode());
  advanced.SetAdvancedMode(err, false);
  EXPECT_FALSE(advanced.advancedMode());

  ZEMBRAIMUImpl basic(err, 1, nullptr);
  EXPECT_FALSE(basic.advancedMode());
  err = IMUError_OperationFailed;
  basic.SetAdvancedMode(err, true);
  EXPECT_EQ(err, IMUError_None);
  EXPECT_TRUE(basic.advancedMode());
}

TEST(DriverEngine, TheModeFlagReachesThePoseComputation) {
  // Finger 3 spread 12 degrees and bent 20: basic mode replaces the spread by
  // the hand's fixed one, advanced mode keeps it.
  const DQuat wrist = AboutY(15);
  const DQuat fingers[4] = {kDIdentity, kDIdentity, kDIdentity, AboutY(12) * AboutZ(20)};
  const auto bytes = BuildBurst(Burst::UUPU, ReadingsFor(wrist, fingers, wrist));
  EIMUError err = IMUError_None;
  ZEMBRAIMUImpl driver(err, 2, nullptr);
  driver.engine().SetHand(Hand_Left);
  Pose pose{};
  ASSERT_EQ(driver.engine().ProcessPacket(bytes.data(), bytes.size(), pose), pose::PoseEngine::Outcome::Pose);
  EXPECT_LT(AngleBetween(ToD(pose.joints[3]), wrist * AboutZ(20) * AboutY(12)), 2e-3);
  driver.SetAdvancedMode(err, false);
  ASSERT_EQ(driver.engine().ProcessPacket(bytes.data(), bytes.size(), pose), pose::PoseEngine::Outcome::Pose);
  EXPECT_LT(AngleBetween(ToD(pose.joints[3]), wrist * AboutZ(20) * AboutY(8.75)), 2e-3);
}

TEST(DriverEngine, GetFingerValueReturnsTheLastBendsWidened) {
  EIMUError err = IMUError_None;
  ZEMBRAIMUImpl driver(err, 2, nullptr);
  driver.engine().SetHand(Hand_Right);
  const DQuat fingers[4] = {AboutZ(15), AboutZ(-30), AboutZ(45), AboutZ(60)};
  const auto bytes = BuildBurst(Burst::PUUU, ReadingsFor(kDIdentity, fingers, kDIdentity));
  Pose pose{};
  ASSERT_EQ(driver.engine().ProcessPacket(bytes.data(), bytes.size(), pose), pose::PoseEngine::Outcome::Pose);
  const double expected[4] = {-15, 30, -45, -60};
  for (int i = 0; i < 4; ++i) {
    err = IMUError_OperationFailed;
    const double value = driver.GetFingerValue(i, err);
    EXPECT_EQ(err, IMUError_None);
    EXPECT_NEAR(value, expected[i], 1e-3) << "finger " << i;
    EXPECT_EQ(value, double(driver.engine().FingerValue(i)));
  }
  err = IMUError_None;
  EXPECT_EQ(driver.GetFingerValue(5, err), 0.0);
  EXPECT_EQ(err, IMUError_IndexOutOfRange);
  err = IMUError_None;
  EXPECT_EQ(driver.GetFingerValue(-1, err), 0.0);
  EXPECT_EQ(err, IMUError_IndexOutOfRange);
}

TEST(DriverEngine, OnOkPoseAlignmentPrintsToStandardOutputAndUpdatesTheEngine) {
  EIMUError err = IMUError_None;
  ZEMBRAIMUImpl driver(err, 1, nullptr);
  driver.engine().SetHand(Hand_Left);
  const auto bytes = BuildBurst(Burst::UUPU, IdentityReadings());
  Pose pose{};
  ASSERT_EQ(driver.engine().ProcessPacket(bytes.data(), bytes.size(), pose), pose::PoseEngine::Outcome::Pose);
  ::testing::internal::CaptureStdout();
  driver.OnOkPoseAlignment();
  const std::string text = ::testing::internal::GetCapturedStdout();
  std::ostringstream want;
  for (int i = 0; i < 4; ++i) {
    const Quat a = driver.engine().Alignment(i);
    want << "alignment[" << i << "]: 0,0,0,1\n";
    want << "alignment[" << i << "]: " << a.x << "," << a.y << "," << a.z << "," << a.w << "\n";
  }
  EXPECT_EQ(text, want.str());
  EXPECT_LT(AngleBetween(ToD(driver.engine().Alignment(3)), AboutY(-10)), 2e-3);
}

}  // namespace
}  // namespace ZEMBRA
