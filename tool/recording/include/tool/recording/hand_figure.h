// Our two hands in a recording skeleton, and what a picture of one needs in
// a frame: where its wrist, finger joints and fingertips are, the outline of
// its palm, which way the back of the hand faces, how thick its fingers are
// and how far each finger is bent; and the view a picture of the hands
// starts with. Everything is read off the skeleton's own joints, so every
// picture drawn from it (the hand viewer, zembra-stream's web page) follows
// the skeleton file and nothing else. Pure.
//
// The hands are recognised by the joint names of our recordings
// ("LeftHand", "LeftHandIndex1" ... "LeftHandThumb3", an End Site below each
// third joint); a hierarchy without them has no figures.
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "tool/recording/bvh_pose.h"
#include "tool/recording/bvh_reader.h"
#include "zembra/Pose.h"

namespace ZEMBRA {
namespace recording {

// Finger order of a figure: thumb, index, middle, ring, pinky.
constexpr int kFingers = 5;
// A figure's points: the wrist, then each finger's three joints and its tip.
constexpr int kFigurePoints = 1 + 4 * kFingers;
// Round the palm: the wrist's thumb side, the thumb's root, the knuckles of
// the index, middle, ring and pinky fingers, the wrist's pinky side.
constexpr int kPalmCorners = 7;

// Where in HandFigure::points a finger's joint is: joint 1 to 3 from the
// palm out, 4 the fingertip.
constexpr int FigurePoint(int finger, int joint) { return 1 + 4 * finger + joint - 1; }

struct HandFigure {
  HandType hand = Hand_Left;
  std::array<Vec3, kFigurePoints> points{};
  std::array<Vec3, kPalmCorners> palm{};
  Vec3 back;          // unit normal out of the back of the hand
  double radius = 0;  // of a finger bone; the palm is twice as thick
  // Degrees: how far each finger's joints are turned against their rest,
  // summed (for the thumb its outer two: its first joint rests turned).
  std::array<double, kFingers> bends{};
};

class SkeletonHands {
 public:
  explicit SkeletonHands(BvhFile file);

  const BvhFile& file() const { return file_; }
  bool HasHand(HandType hand) const;
  // A frame of zeros: every joint at its rest offset.
  std::vector<double> RestFrame() const;
  // Puts the hand's 48 values for pose into frame (file().channelCount
  // values), converted exactly as a recording writes them. Nothing happens
  // for a hand the hierarchy lacks.
  void PlacePose(const Pose& pose, HandType hand, std::vector<double>& frame) const;
  // The hand's figure in a frame; at holds JointPositions(file(), frame).
  // None for a hand the hierarchy lacks.
  std::optional<HandFigure> Figure(HandType hand, const std::vector<Vec3>& at, const double* frame) const;
  // The joint (an index into file().joints) behind a figure point; -1 for
  // a hand the hierarchy lacks.
  int JointOf(HandType hand, int point) const;

 private:
  BvhFile file_;
  // Per hand, the joint of each figure point; [0] -1 when the hand is missing.
  std::array<int, kFigurePoints> joints_[2];
};

// Where a picture of some hands looks from: above the backs of the hands,
// a little beyond the fingertips and to the side, so that a curl shows; the
// left hand on the left. The floor lies under the palms.
struct HandsCamera {
  Vec3 target, eye, up;
  double fieldOfView = 40;  // degrees, vertical
  double extent = 1;        // the size of what is in view
  Vec3 floorCentre, floorNormal;
};

// figures: not empty.
HandsCamera CameraOnHands(const std::vector<HandFigure>& figures);

}  // namespace recording
}  // namespace ZEMBRA
