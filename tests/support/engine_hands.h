// Poses as the pose engine delivers them, written directly: every joint at
// one rotation, or an open or curled hand with the wrist at the identity.
#pragma once

#include <cmath>

#include "protocol/hand_model.h"
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

inline Quat AboutZ(double degrees) {
  const double h = degrees * M_PI / 360;
  return {0, 0, float(std::sin(h)), float(std::cos(h))};
}

// A hand as the pose engine delivers it with the wrist at the identity: the
// long fingers bent about Z by `bend` (proximal about half of it, distal a
// quarter more), the thumb at its rest rotation on the wrist, bent about its
// own Z by `thumbBend`.
inline Pose EngineHand(HandType hand, double bend, double thumbBend) {
  Pose pose = PoseOf(hand, {0, 0, 0, 1});
  const protocol::QuatConstant& r = hand == Hand_Left ? protocol::kLeftThumbReference : protocol::kRightThumbReference;
  const Quat rest{r.x, r.y, r.z, r.w};
  for (int finger = 0; finger < 4; ++finger) {
    pose.joints[Joint_PinkyProximal + finger] = AboutZ(-0.45 * bend);
    pose.joints[Joint_PinkyIntermediate + finger] = AboutZ(-bend);
    pose.joints[Joint_PinkyDistal + finger] = AboutZ(-1.25 * bend);
  }
  pose.joints[Joint_ThumbProximal] = Product(rest, AboutZ(-0.55 * thumbBend));
  pose.joints[Joint_ThumbIntermediate] = Product(rest, AboutZ(-0.75 * thumbBend));
  pose.joints[Joint_ThumbDistal] = Product(rest, AboutZ(-thumbBend));
  return pose;
}

}  // namespace testsupport
}  // namespace ZEMBRA
