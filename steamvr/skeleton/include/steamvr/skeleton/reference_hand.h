// SteamVR's hand skeleton: the 31 bones in SteamVR's order with their
// parents, and its reference hand, the parent-relative transforms of every
// bone for an open hand and for a fist, left and right. The figures are
// the published ones (the poses taken from Valve's Index controllers),
// kept here to the digit, each quaternion normalised on loading.
//
// Frames, as SteamVR defines them: right-handed, metres. The root (bone 0)
// sits at the device's pose; the wrist is relative to the root; thumb0 and
// each finger's metacarpal (bone 0 of a finger) to the wrist; every later
// bone of a finger to the bone before it; the five aux bones to the root.
// In the wrist's frame the open hand's fingers reach along +z, the thumb
// lies towards +y, and a fist closes towards +x (right hand) or -x (left).
#pragma once

#include "steamvr/rigid/rigid.h"
#include "zembra/Pose.h"

namespace ZEMBRA {
namespace skeleton {

constexpr int kBoneCount = 31;

// SteamVR's bone indices.
enum Bone : int {
  kRoot = 0,
  kWrist = 1,
  kThumb0 = 2,  // metacarpal
  kThumb1 = 3,  // proximal phalanx
  kThumb2 = 4,  // distal phalanx
  kThumb3 = 5,  // tip
  kIndex0 = 6,  // metacarpal; then proximal, intermediate, distal, tip
  kIndex1 = 7,
  kIndex2 = 8,
  kIndex3 = 9,
  kIndex4 = 10,
  kMiddle0 = 11,
  kMiddle1 = 12,
  kMiddle2 = 13,
  kMiddle3 = 14,
  kMiddle4 = 15,
  kRing0 = 16,
  kRing1 = 17,
  kRing2 = 18,
  kRing3 = 19,
  kRing4 = 20,
  kPinky0 = 21,
  kPinky1 = 22,
  kPinky2 = 23,
  kPinky3 = 24,
  kPinky4 = 25,
  kAuxThumb = 26,  // the root-frame transform of thumb2, and so on
  kAuxIndex = 27,
  kAuxMiddle = 28,
  kAuxRing = 29,
  kAuxPinky = 30,
};

// Each bone's parent; -1 for the root. Parents come before their children.
constexpr int kBoneParent[kBoneCount] = {-1, 0,  1,  2,  3,  4, 1,  6,  7,  8,  9, 1, 11, 12, 13, 14,
                                         1,  16, 17, 18, 19, 1, 21, 22, 23, 24, 0, 0, 0,  0,  0};

using Bones = rigid::Transform[kBoneCount];

struct ReferenceHand {
  Bones open;
  Bones fist;
};

// The reference hand of `hand` (any value but Hand_Right is the left).
ReferenceHand LoadReferenceHand(HandType hand);

// Every bone's transform in the root's frame, from the parent-relative
// ones.
void ToRootFrame(const Bones& local, Bones& root);

}  // namespace skeleton
}  // namespace ZEMBRA
