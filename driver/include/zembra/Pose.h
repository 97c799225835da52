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

// Parents: the finger chains from the wrist are 9 -> 3 -> 14 (index),
// 8 -> 2 -> 13, 7 -> 1 -> 12, 6 -> 0 -> 11 (pinky) and 15 -> 10 -> 4 (thumb).

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
