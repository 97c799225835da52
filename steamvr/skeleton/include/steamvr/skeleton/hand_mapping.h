// Our sixteen joints onto SteamVR's 31-bone hand: for every pose of one
// glove, the parent-relative transforms of all 31 bones, and the finger
// curls, trigger and grip values derived from the same bends. Pure: a pose
// in, numbers out. docs/steamvr.md derives the mapping.
//
// In short: each of our joints is taken relative to its parent (the thumb's
// first joint relative to its rest on the wrist) and split into a spread
// about the parent's y axis and a bend about its z axis, as the pose engine
// builds them. The bend, as a share of the way from an open finger to a
// closed one, turns each reference open-hand bone about its own bend axis
// (the axis of its reference open-to-fist turn) by that share of its
// reference turn, and moves it by that share of the way to its fist
// position; the spread, measured from the hand's rest spread, turns it
// about its spread axis, the bone's axis across the finger. Metacarpals
// follow their finger's curl, distal bones their intermediate's, tips keep
// their place, the root stays at the device and the wrist where the
// reference hand has it; the aux bones carry their finger's distal bone in
// the root frame.
#pragma once

#include <array>

#include "steamvr/rigid/rigid.h"
#include "steamvr/skeleton/reference_hand.h"
#include "zembra/Pose.h"

namespace ZEMBRA {
namespace skeleton {

// The bends, in degrees, at which a finger reads open (curl 0) and closed
// (curl 1): for a long finger the turn of its intermediate joint against
// the back of the hand, for the thumb the turn of its last joint against
// its rest. Closed must lie above open.
struct CurlRange {
  double open = 0;
  double closed = 90;
};

struct MappingOptions {
  CurlRange fingers{5, 85};
  CurlRange thumb{5, 55};
};

// The long fingers, in the order of HandSkeleton::curl.
enum Finger : int { kIndex = 0, kMiddle = 1, kRing = 2, kPinky = 3, kFingerCount = 4 };

struct HandSkeleton {
  Bones bones;                              // parent-relative, SteamVR's order
  std::array<double, kFingerCount> curl{};  // 0 open .. 1 closed
  double thumbCurl = 0;
  double trigger = 0;  // the index finger's curl
  double grip = 0;     // the mean curl of the middle, ring and little fingers
};

// What the mapping turns a bone about: its bend axis with its reference
// open-to-fist turn, and its spread axis (positive towards the thumb), in
// the bone's own frame. Zero axes for bones that do not turn.
struct BoneMotion {
  rigid::Vec3 bendAxis;
  double fistDegrees = 0;
  rigid::Vec3 spreadAxis;
};

// A joint's local rotation split as the pose engine composes it:
// Ry(spread) * Rx(twist) * Rz(bend); a curl is a positive turn about z.
struct SpreadBend {
  double spread = 0;  // degrees about y
  double bend = 0;    // degrees about z
};
SpreadBend SplitJoint(const rigid::Quat& q_parent_joint);

class HandMapper {
 public:
  // hand: Hand_Right, or any other value for the left hand.
  explicit HandMapper(HandType hand, MappingOptions options = MappingOptions());

  HandSkeleton Map(const Pose& pose) const;

  HandType hand() const { return hand_; }
  const ReferenceHand& reference() const { return reference_; }
  const BoneMotion& motion(int bone) const { return motion_[bone]; }

 private:
  rigid::Transform Turned(int bone, double closure, double spreadDegrees) const;

  HandType hand_;
  MappingOptions options_;
  ReferenceHand reference_;
  BoneMotion motion_[kBoneCount];
};

}  // namespace skeleton
}  // namespace ZEMBRA
