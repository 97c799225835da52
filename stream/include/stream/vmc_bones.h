// A hand of the driver as the finger bones of a Unity humanoid: the 15
// bones of each hand, named as Unity names them, each with its rotation
// local to its parent bone and its rest offset from the parent. Pure: a
// Pose in, bones out.
//
// The frames. The receiving rig is Unity's normalized humanoid: Y up, the
// avatar facing +Z, the left arm along -X and the right along +X, palms
// down, thumbs forward, and every finger bone's local rotation the identity
// in that T-pose. Our joints are absolute rotations in the engine's frame,
// in which both hands rest with the fingers along +X and the palm facing
// +Y, the left thumb on the -Z side and the right thumb on the +Z side, and
// a curl is a positive turn about Z. Each hand's rest frame maps onto its
// T-pose hand by a reflection (Unity's frame is left-handed), -I for the
// left hand and diag(1, -1, 1) for the right; a rotation (x, y, z, w) then
// stays (x, y, z, w) on the left hand and reads (-x, y, -z, w) on the right.
// The thumb rests turned by the hand model's thumb reference; its bones are
// measured from that rest, so an unbent thumb is the T-pose thumb.
// docs/streaming.md derives all of this.
#pragma once

#include <array>

#include "zembra/Pose.h"

namespace ZEMBRA {
namespace stream {

struct Vec3f {
  float x = 0, y = 0, z = 0;
};

struct Bone {
  const char* name = "";
  Vec3f position;  // rest offset from the parent bone, metres, parent's frame
  Quat rotation;   // local to the parent bone, (x, y, z, w)
};

// Thumb, index, middle, ring and little finger, each proximal,
// intermediate, distal.
constexpr int kFingerBones = 15;
using HandBones = std::array<Bone, kFingerBones>;

// The bones of one hand ("LeftThumbProximal" ... "LeftLittleDistal", or
// Right...). hand says which skeleton half the pose drives; any value but
// Hand_Right is taken as the left hand, as the recording does.
HandBones FingerBones(const Pose& pose, HandType hand);

// "LeftHand" or "RightHand": the wrist's rotation relative to its rotation
// in `reference` (a pose the performer held in the T-pose, hands flat), in
// the T-pose hand's frame, and a nominal forearm as its position.
Bone WristBone(const Pose& pose, const Pose& reference, HandType hand);

// The driver joint that feeds finger bone b (0..14), and its parent joint.
int BoneJoint(int bone);
int BoneParentJoint(int bone);

}  // namespace stream
}  // namespace ZEMBRA
