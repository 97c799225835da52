// What the hand viewer draws for one frame of a BVH hierarchy: the bones
// as pairs of points with a thickness, the joints, and for each of our two
// hands its figure (palm, finger thickness, the back's normal, the five
// finger bends; tool/recording/hand_figure.h). Pure: no Qt, no GL.
//
// Any hierarchy can be drawn; the hands are recognised by the joint names
// of our recordings ("LeftHand", "LeftHandIndex1", ...), and only a
// hierarchy that has them gets hand panels and live poses.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "tool/recording/bvh_pose.h"
#include "tool/recording/bvh_reader.h"
#include "tool/recording/hand_figure.h"
#include "zembra/Pose.h"

namespace ZEMBRA {
namespace viewer {

using recording::Vec3;

enum class Side { Left, Right, Other };

struct SceneBone {
  Vec3 from, to;
  Side side = Side::Other;
  double radius = 0;
  bool inPalm = false;  // from a wrist to a finger's root: the palm covers it
  bool toEnd = false;   // to an End Site, where no joint is drawn
};

struct SceneJoint {
  Vec3 at;
  Side side = Side::Other;
  double radius = 0;
};

// Finger order of the panels: thumb, index, middle, ring, pinky.
using recording::kFingers;

struct HandInfo {
  bool present = false;
  Vec3 wrist;
  Vec3 palm;  // unit normal out of the palm
  // Degrees: how far the finger's joints are turned against their rest,
  // summed (for the thumb, its outer two: its first joint rests turned).
  std::array<double, kFingers> bends = {};
  recording::HandFigure figure;  // when present
};

struct Scene {
  std::vector<SceneBone> bones;
  std::vector<SceneJoint> joints;
  HandInfo hands[2];  // [0] left, [1] right
  Vec3 lo, hi;        // bounds of every joint
};

class HandSkeleton {
 public:
  explicit HandSkeleton(const recording::BvhFile& file);

  const recording::BvhFile& file() const { return hands_.file(); }
  bool HasHand(HandType hand) const;
  // A frame of zeros: every joint at its rest offset.
  std::vector<double> RestFrame() const;
  // Puts the hand's 48 values for pose into frame, converted exactly as a
  // recording writes them. Nothing happens for a hand the hierarchy lacks.
  void PlacePose(const Pose& pose, HandType hand, std::vector<double>& frame) const;
  // The scene of one frame (file().channelCount values).
  Scene Build(const double* frame) const;

 private:
  HandInfo Describe(HandType hand, const std::vector<Vec3>& at, const double* frame) const;

  recording::SkeletonHands hands_;
  std::vector<Side> sides_;
  std::vector<bool> drawn_;     // whether the bone to each joint is drawn
  std::vector<bool> inPalm_;    // whether that bone lies inside a hand's palm
  std::vector<double> radius_;  // of the bone to each joint and of the joint
};

}  // namespace viewer
}  // namespace ZEMBRA
