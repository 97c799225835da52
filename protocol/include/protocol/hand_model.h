// The hand model both pose engines, the simulator and the tool share: hand
// codes and receiver tags, the joint order and parent chain, the plug-in's
// joint order, and the thumb's reference rotations. Quaternions are
// (x, y, z, w), w last.
#pragma once

#include <cstdint>
#include <string_view>

namespace ZEMBRA {
namespace protocol {

// The driver's hand codes (its HandType).
constexpr int32_t kLeftHand = 2;
constexpr int32_t kRightHand = 3;

// The plug-in's hand code, as the engine passes it: 1 left, 0 right. A type
// of its own, so that it cannot be mixed up with the driver's codes above:
// neither converts to the other without saying so. The engine may pass any
// number; a value other than the two is kept as given, and counts as the
// left hand wherever a side must be chosen.
enum class PluginHand : int32_t {};
constexpr PluginHand kPluginHandRight{0};
constexpr PluginHand kPluginHandLeft{1};
constexpr bool IsRight(PluginHand hand) { return hand == kPluginHandRight; }

// A receiver's device instance identifier (on Linux its USB serial number)
// carries its hand's tag.
constexpr std::string_view kLeftReceiverTag = "LH";
constexpr std::string_view kRightReceiverTag = "RH";
inline std::string_view ReceiverTag(int32_t hand) { return hand == kRightHand ? kRightReceiverTag : kLeftReceiverTag; }

// Joints of one hand, in the driver's order (its JointIndex): 0..4 carry a
// sensor (pinky, ring, middle, index intermediate; thumb distal), 5 is the
// wrist, 6..10 lie one joint nearer the palm, 11..15 are the rest.
constexpr int kJointCount = 16;
constexpr int kWristJoint = 5;

// Parent of each joint; -1 for the wrist. Finger chains from the wrist:
// 9 -> 3 -> 14 (index), 8 -> 2 -> 13, 7 -> 1 -> 12, 6 -> 0 -> 11 (pinky),
// 15 -> 10 -> 4 (thumb).
constexpr int32_t kJointParent[kJointCount] = {6, 7, 8, 9, 10, -1, 5, 5, 5, 5, 15, 0, 1, 2, 3, 5};

// The plug-in's order: wrist, then thumb, index, middle, ring, pinky, each
// finger proximal, intermediate, distal. Entry k is the driver joint that
// feeds plug-in joint k.
constexpr int32_t kPluginJointOrder[kJointCount] = {5, 15, 10, 4, 9, 3, 14, 8, 2, 13, 7, 1, 12, 6, 0, 11};

// Single-precision constants of the hand model, shared by both engines and
// the simulator (the plug-in widens them).
struct QuatConstant {
  float x, y, z, w;
};

// The thumb's rest rotation relative to the wrist, and the correction that
// turns the thumb sensor's reading into the thumb's rotation, per hand.
constexpr QuatConstant kLeftThumbReference = {0.49673f, 0.409576f, 0.286788f, 0.709406f};
constexpr QuatConstant kRightThumbReference = {-0.49673f, -0.409576f, 0.286788f, 0.709406f};
constexpr QuatConstant kLeftThumbCorrection = {0.015134413f, -0.1729864f, -0.08583163f, 0.98105586f};
constexpr QuatConstant kRightThumbCorrection = {-0.015134413f, 0.1729864f, -0.08583163f, 0.98105586f};

// The factor of the frame change from a sensor's frame to the hand model's.
constexpr float kFrameChangeFactor = 0.70710677f;

}  // namespace protocol
}  // namespace ZEMBRA
