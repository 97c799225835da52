// The finished hand pose and the hand model's joint order.
//
// Quaternions are (x, y, z, w), w last, Hamilton products. Every joint
// rotation is absolute (world frame of the sensors after the frame change),
// not relative to its parent.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ZEMBRA {

// 32-bit hand code of the driver.
enum HandType : int32_t {
  Hand_Left = 2,
  Hand_Right = 3,
};

struct Quat {
  float x;
  float y;
  float z;
  float w;
};

// Index into Pose::joints. Entries 0..4 carry a sensor, 5 is the wrist,
// 6..10 lie one joint nearer the palm, 11..15 are the remaining ones.
enum JointIndex : int32_t {
  Joint_PinkyIntermediate = 0,
  Joint_RingIntermediate = 1,
  Joint_MiddleIntermediate = 2,
  Joint_IndexIntermediate = 3,
  Joint_ThumbDistal = 4,
  Joint_Wrist = 5,
  Joint_PinkyProximal = 6,
  Joint_RingProximal = 7,
  Joint_MiddleProximal = 8,
  Joint_IndexProximal = 9,
  Joint_ThumbIntermediate = 10,
  Joint_PinkyDistal = 11,
  Joint_RingDistal = 12,
  Joint_MiddleDistal = 13,
  Joint_IndexDistal = 14,
  Joint_ThumbProximal = 15,
  Joint_Count = 16,
};

// Parent of each joint in the hand chain; -1 for the wrist (the root). The
// thumb runs wrist 5 -> proximal 15 -> intermediate 10 -> distal 4.
constexpr int32_t kJointParent[Joint_Count] = {6, 7, 8, 9, 10, -1, 5, 5, 5, 5, 15, 0, 1, 2, 3, 5};

// Plug-in order: wrist, then thumb, index, middle, ring, pinky, each finger
// proximal, intermediate, distal. Entry k is the driver joint index that
// feeds plug-in joint k.
constexpr int32_t kPluginJointOrder[Joint_Count] = {5, 15, 10, 4, 9, 3, 14, 8, 2, 13, 7, 1, 12, 6, 0, 11};

// Record handed to the client by value; it holds no pointers.
struct Pose {
  Quat joints[Joint_Count];
  HandType type;
  // Slot k holds the last value for status selector 3, 2, 4, 5, 1, 0.
  int32_t statusTable[6];
  int32_t statusByte;
  double statusValue;
};

static_assert(sizeof(Quat) == 16, "Quat is four packed floats");
static_assert(offsetof(Pose, joints) == 0, "Pose layout");
static_assert(offsetof(Pose, type) == 256, "Pose layout");
static_assert(offsetof(Pose, statusTable) == 260, "Pose layout");
static_assert(offsetof(Pose, statusByte) == 284, "Pose layout");
static_assert(offsetof(Pose, statusValue) == 288, "Pose layout");
static_assert(sizeof(Pose) == 296, "Pose layout");

}  // namespace ZEMBRA
