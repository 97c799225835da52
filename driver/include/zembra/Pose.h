/// @file
/// The finished hand pose and the hand model's joint order.
///
/// Quaternions are (x, y, z, w), w last, Hamilton products. Every joint
/// rotation is absolute (the world frame of the sensors after the frame
/// change), not relative to its parent.
#pragma once

#include <cstddef>
#include <cstdint>

/// The ZEMBRA glove driver's public types and interface.
namespace ZEMBRA {

/// The driver's 32-bit hand code.
enum HandType : int32_t {
  Hand_Left = 2,   ///< the left glove and its receiver
  Hand_Right = 3,  ///< the right glove and its receiver
};

/// A rotation as four single-precision floats, w last.
struct Quat {
  float x;  ///< vector part, x
  float y;  ///< vector part, y
  float z;  ///< vector part, z
  float w;  ///< scalar part
};

/// Index into Pose::joints. Entries 0..4 carry a sensor, 5 is the wrist,
/// 6..10 lie one joint nearer the palm, 11..15 are the remaining ones. The
/// finger chains from the wrist are 9 -> 3 -> 14 (index), 8 -> 2 -> 13
/// (middle), 7 -> 1 -> 12 (ring), 6 -> 0 -> 11 (pinky) and 15 -> 10 -> 4
/// (thumb).
enum JointIndex : int32_t {
  Joint_PinkyIntermediate = 0,   ///< pinky, middle phalanx (sensor 0)
  Joint_RingIntermediate = 1,    ///< ring, intermediate phalanx (sensor 1)
  Joint_MiddleIntermediate = 2,  ///< middle finger, intermediate phalanx (sensor 2)
  Joint_IndexIntermediate = 3,   ///< index finger, intermediate phalanx (sensor 3)
  Joint_ThumbDistal = 4,         ///< thumb, distal phalanx (sensor 4)
  Joint_Wrist = 5,               ///< back of the hand, the root (sensor 5)
  Joint_PinkyProximal = 6,       ///< pinky, proximal phalanx
  Joint_RingProximal = 7,        ///< ring, proximal phalanx
  Joint_MiddleProximal = 8,      ///< middle finger, proximal phalanx
  Joint_IndexProximal = 9,       ///< index finger, proximal phalanx
  Joint_ThumbIntermediate = 10,  ///< thumb, intermediate joint
  Joint_PinkyDistal = 11,        ///< pinky, distal phalanx
  Joint_RingDistal = 12,         ///< ring, distal phalanx
  Joint_MiddleDistal = 13,       ///< middle finger, distal phalanx
  Joint_IndexDistal = 14,        ///< index finger, distal phalanx
  Joint_ThumbProximal = 15,      ///< thumb, proximal joint
  Joint_Count = 16,              ///< the number of joints
};

/// One decoded pose, handed to the client by value; it holds no pointers.
struct Pose {
  Quat joints[Joint_Count];  ///< the sixteen joint rotations, in JointIndex order
  HandType type;             ///< the glove's hand
  /// The glove's six status slots: slot k holds the last value for status
  /// selector 3, 2, 4, 5, 1, 0. Zero until the glove sent them.
  int32_t statusTable[6];
  int32_t statusByte;  ///< the glove's last status byte, sign-extended
  double statusValue;  ///< the glove's last status value
};

static_assert(sizeof(Quat) == 16, "Quat is four packed floats");
static_assert(offsetof(Pose, joints) == 0, "Pose layout");
static_assert(offsetof(Pose, type) == 256, "Pose layout");
static_assert(offsetof(Pose, statusTable) == 260, "Pose layout");
static_assert(offsetof(Pose, statusByte) == 284, "Pose layout");
static_assert(offsetof(Pose, statusValue) == 288, "Pose layout");
static_assert(sizeof(Pose) == 296, "Pose layout");

}  // namespace ZEMBRA
