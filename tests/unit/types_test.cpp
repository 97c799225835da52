// The public types: their values and layout are the binary interface that
// clients compiled against this header rely on.
#include <gtest/gtest.h>

#include <cstddef>
#include <set>
#include <type_traits>

#include "protocol/hand_model.h"
#include "zembra/ZEMBRAIMU.h"

namespace ZEMBRA {
namespace {

TEST(PublicTypes, HandAndErrorCodes) {
  static_assert(sizeof(HandType) == 4 && sizeof(EIMUError) == 4, "32-bit codes");
  EXPECT_EQ(int(Hand_Left), 2);
  EXPECT_EQ(int(Hand_Right), 3);
  const EIMUError errors[] = {IMUError_None,
                              IMUError_InvalidHand,
                              IMUError_ProcessFailed,
                              IMUError_FileOpenFailed,
                              IMUError_PortAccessDenied,
                              IMUError_PortNotOpen,
                              IMUError_OperationFailed,
                              IMUError_PortNotFound,
                              IMUError_RegistryWriteFailed,
                              IMUError_IndexOutOfRange};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(int(errors[i]), i);
}

TEST(PublicTypes, EventCodesAndRecord) {
  EXPECT_EQ(int(IMUEvent_LowBattery), 3);
  EXPECT_EQ(int(IMUEvent_BatteryFull), 4);
  EXPECT_EQ(int(IMUEvent_Paired), 5);
  EXPECT_EQ(int(IMUEvent_MagneticAbnormal), 6);
  EXPECT_EQ(int(IMUEvent_TrackerConnected), 7);
  EXPECT_EQ(int(IMUEvent_TrackerDisconnected), 8);
  EXPECT_EQ(sizeof(IMUEvent), 8u);
  EXPECT_EQ(offsetof(IMUEvent, type), 0u);
  EXPECT_EQ(offsetof(IMUEvent, hand), 4u);
}

TEST(PublicTypes, PortInfoDefaults) {
  const PortInfo info;
  EXPECT_TRUE(info.port_name.empty() && info.description.empty() && info.hardware_id.empty() &&
              info.instance_id.empty());
  EXPECT_EQ(info.baud_rate, 0);
  EXPECT_EQ(int(info.hand), 0);
}

TEST(PoseRecord, LayoutIsNaturallyAlignedAndHoldsNoPointers) {
  EXPECT_EQ(sizeof(Quat), 16u);
  EXPECT_EQ(offsetof(Quat, x), 0u);
  EXPECT_EQ(offsetof(Quat, y), 4u);
  EXPECT_EQ(offsetof(Quat, z), 8u);
  EXPECT_EQ(offsetof(Quat, w), 12u);
  EXPECT_EQ(offsetof(Pose, joints), 0u);
  EXPECT_EQ(offsetof(Pose, type), 256u);
  EXPECT_EQ(offsetof(Pose, statusTable), 260u);
  EXPECT_EQ(offsetof(Pose, statusByte), 284u);
  EXPECT_EQ(offsetof(Pose, statusValue), 288u);
  EXPECT_EQ(sizeof(Pose), 296u);
  EXPECT_TRUE(std::is_trivially_copyable<Pose>::value);
  EXPECT_TRUE((std::is_same<decltype(Pose::statusValue), double>::value));
}

TEST(HandModel, JointOrderAndParents) {
  EXPECT_EQ(int(Joint_PinkyIntermediate), 0);
  EXPECT_EQ(int(Joint_ThumbDistal), 4);
  EXPECT_EQ(int(Joint_Wrist), 5);
  EXPECT_EQ(int(Joint_PinkyProximal), 6);
  EXPECT_EQ(int(Joint_IndexProximal), 9);
  EXPECT_EQ(int(Joint_ThumbIntermediate), 10);
  EXPECT_EQ(int(Joint_PinkyDistal), 11);
  EXPECT_EQ(int(Joint_IndexDistal), 14);
  EXPECT_EQ(int(Joint_ThumbProximal), 15);
  EXPECT_EQ(int(Joint_Count), 16);

  // Parent of each joint in the hand model.
  const int parent[16] = {6, 7, 8, 9, 10, -1, 5, 5, 5, 5, 15, 0, 1, 2, 3, 5};
  for (int j = 0; j < 16; ++j) EXPECT_EQ(protocol::kJointParent[j], parent[j]) << "joint " << j;
}

TEST(HandModel, EveryFingerChainLeadsFromItsTipToTheWrist) {
  // Chains from the wrist: index 9-3-14, middle 8-2-13, ring 7-1-12,
  // pinky 6-0-11, thumb 15-10-4. Walk each tip up to the root.
  const int chains[5][3] = {{9, 3, 14}, {8, 2, 13}, {7, 1, 12}, {6, 0, 11}, {15, 10, 4}};
  for (const auto& chain : chains) {
    EXPECT_EQ(protocol::kJointParent[chain[2]], chain[1]);
    EXPECT_EQ(protocol::kJointParent[chain[1]], chain[0]);
    EXPECT_EQ(protocol::kJointParent[chain[0]], int(Joint_Wrist));
  }
  for (int j = 0; j < 16; ++j) {
    int steps = 0;
    for (int k = j; k != -1 && steps <= 16; k = protocol::kJointParent[k]) ++steps;
    EXPECT_LE(steps, 4) << "joint " << j << " does not reach the wrist";
  }
}

TEST(HandModel, PluginOrderIsWristThenThumbIndexMiddleRingPinky) {
  const int expected[16] = {5, 15, 10, 4, 9, 3, 14, 8, 2, 13, 7, 1, 12, 6, 0, 11};
  std::set<int> seen;
  for (int k = 0; k < 16; ++k) {
    EXPECT_EQ(protocol::kPluginJointOrder[k], expected[k]) << "plug-in joint " << k;
    seen.insert(protocol::kPluginJointOrder[k]);
  }
  EXPECT_EQ(seen.size(), 16u);
  // The six sensors land on plug-in joints 14, 11, 8, 5, 3 and 0.
  const int sensorToPlugin[6] = {14, 11, 8, 5, 3, 0};
  for (int s = 0; s < 6; ++s) EXPECT_EQ(protocol::kPluginJointOrder[sensorToPlugin[s]], s) << "sensor " << s;
}

}  // namespace
}  // namespace ZEMBRA
