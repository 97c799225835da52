// Poses as the pose engine delivers them, written directly: every joint at
// one rotation, or an open or curled hand with the wrist at the identity
// (tests/unit/finger_flexion_test.cpp checks the latter against the engine).
#pragma once

#include <cmath>

#include "protocol/hand_model.h"
#include "tests/support/quat_oracle.h"
#include "zembra/Pose.h"

namespace ZEMBRA {
namespace testsupport {

inline Pose PoseOf(HandType hand, Quat everyJoint, int32_t tag = 0) {
  Pose pose{};
  for (Quat& joint : pose.joints) joint = everyJoint;
  pose.type = hand;
  pose.statusByte = tag;
  return pose;
}

inline Quat Product(const Quat& a, const Quat& b) {
  return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y + a.y * b.w + a.z * b.x - a.x * b.z,
          a.w * b.z + a.z * b.w + a.x * b.y - a.y * b.x, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

// A hand as the driver's pose engine delivers it, with the wrist at the
// identity and no spread (advanced mode, fingers measured without one): the
// long fingers curled by `bend` degrees, a positive turn about the wrist's
// Z (the proximal joint 0.45 of it, the intermediate joint the whole, the
// distal joint half as much again, but only in a curl: bent backwards, it
// stays in line), and the thumb at its rest rotation on
// the wrist, curled by `thumbBend` about that rest frame's Z (its proximal
// and intermediate joints at 0.55 and 0.75 of the way, each less 0.0025 of
// the bend). The driver reports the bends as -bend and -thumbBend.
inline Pose EngineHand(HandType hand, double bend, double thumbBend) {
  Pose pose = PoseOf(hand, {0, 0, 0, 1});
  const protocol::QuatConstant& r = hand == Hand_Left ? protocol::kLeftThumbReference : protocol::kRightThumbReference;
  const DQuat rest{r.x, r.y, r.z, r.w};
  for (int finger = 0; finger < 4; ++finger) {
    pose.joints[Joint_PinkyProximal + finger] = ToF(AboutZ(0.45 * bend));
    pose.joints[Joint_PinkyIntermediate + finger] = ToF(AboutZ(bend));
    pose.joints[Joint_PinkyDistal + finger] = ToF(AboutZ((bend > 0 ? 1.5 : 1.0) * bend));
  }
  const double thumbShare = 0.0025 * thumbBend;
  pose.joints[Joint_ThumbProximal] = ToF(rest * AboutZ((0.55 - thumbShare) * thumbBend));
  pose.joints[Joint_ThumbIntermediate] = ToF(rest * AboutZ((0.75 - thumbShare) * thumbBend));
  pose.joints[Joint_ThumbDistal] = ToF(rest * AboutZ(thumbBend));
  return pose;
}

}  // namespace testsupport
}  // namespace ZEMBRA
