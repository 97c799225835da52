#include "tool/viewer/hand_scene.h"

#include <algorithm>
#include <cmath>

#include "tool/recording/bvh_writer.h"

namespace ZEMBRA {
namespace viewer {

namespace {

// A joint's ball against the bones' radius.
constexpr double kJointOfRadius = 1.15;
// Bones of other hierarchies against the size of the whole at rest.
constexpr double kOtherRadiusOfSize = 0.015;

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

Vec3 Opposite(const Vec3& v) { return {-v.x, -v.y, -v.z}; }

}  // namespace

HandSkeleton::HandSkeleton(const recording::BvhFile& file) : hands_(file) {
  const recording::BvhFile& f = hands_.file();
  const size_t count = f.joints.size();
  sides_.assign(count, Side::Other);
  drawn_.assign(count, true);
  inPalm_.assign(count, false);
  for (size_t j = 0; j < count; ++j) {
    const recording::BvhJoint& joint = f.joints[j];
    if (StartsWith(joint.name, "Left"))
      sides_[j] = Side::Left;
    else if (StartsWith(joint.name, "Right"))
      sides_[j] = Side::Right;
    else if (joint.parent >= 0)
      sides_[j] = sides_[size_t(joint.parent)];
    // A root without channels only groups its children: no bone to them.
    if (joint.parent < 0) {
      drawn_[j] = false;
    } else {
      const recording::BvhJoint& parent = f.joints[size_t(joint.parent)];
      drawn_[j] = !(parent.parent < 0 && parent.channels.empty());
    }
  }

  // Thickness: a hand's from its own palm, anything else's from its size.
  const std::vector<double> rest = RestFrame();
  const std::vector<Vec3> at = recording::JointPositions(f, rest.data());
  Vec3 lo = at.empty() ? Vec3{} : at[0], hi = lo;
  for (const Vec3& p : at) {
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  const double size =
      std::sqrt((hi.x - lo.x) * (hi.x - lo.x) + (hi.y - lo.y) * (hi.y - lo.y) + (hi.z - lo.z) * (hi.z - lo.z));
  radius_.assign(count, std::max(size * kOtherRadiusOfSize, 1e-3));
  for (HandType hand : {Hand_Left, Hand_Right}) {
    const std::optional<recording::HandFigure> figure = hands_.Figure(hand, at, rest.data());
    if (!figure) continue;
    for (int p = 1; p < recording::kFigurePoints; ++p) {
      const size_t joint = size_t(hands_.JointOf(hand, p));
      radius_[joint] = figure->radius;
      // The palm spans the wrist and every finger's first joint.
      inPalm_[joint] = (p - 1) % 4 == 0;
    }
    radius_[size_t(hands_.JointOf(hand, 0))] = figure->radius;
  }
}

bool HandSkeleton::HasHand(HandType hand) const { return hands_.HasHand(hand); }

std::vector<double> HandSkeleton::RestFrame() const { return hands_.RestFrame(); }

void HandSkeleton::PlacePose(const Pose& pose, HandType hand, std::vector<double>& frame) const {
  hands_.PlacePose(pose, hand, frame);
}

HandInfo HandSkeleton::Describe(HandType hand, const std::vector<Vec3>& at, const double* frame) const {
  HandInfo info;
  const std::optional<recording::HandFigure> figure = hands_.Figure(hand, at, frame);
  if (!figure) return info;
  info.present = true;
  info.figure = *figure;
  info.wrist = figure->points[0];
  info.palm = Opposite(figure->back);
  info.bends = figure->bends;
  return info;
}

Scene HandSkeleton::Build(const double* frame) const {
  const recording::BvhFile& file = hands_.file();
  const std::vector<Vec3> at = recording::JointPositions(file, frame);
  Scene scene;
  if (!at.empty()) scene.lo = scene.hi = at[0];
  for (size_t j = 0; j < at.size(); ++j) {
    const Vec3& p = at[j];
    scene.lo = {std::min(scene.lo.x, p.x), std::min(scene.lo.y, p.y), std::min(scene.lo.z, p.z)};
    scene.hi = {std::max(scene.hi.x, p.x), std::max(scene.hi.y, p.y), std::max(scene.hi.z, p.z)};
    if (!drawn_[j]) continue;
    scene.bones.push_back(
        {at[size_t(file.joints[j].parent)], p, sides_[j], radius_[j], inPalm_[j], file.joints[j].endSite});
    if (!file.joints[j].endSite) scene.joints.push_back({p, sides_[j], radius_[j] * kJointOfRadius});
  }
  for (size_t j = 0; j < at.size(); ++j)
    if (!drawn_[j] && !file.joints[j].channels.empty())
      scene.joints.push_back({at[j], sides_[j], radius_[j] * kJointOfRadius});
  scene.hands[0] = Describe(Hand_Left, at, frame);
  scene.hands[1] = Describe(Hand_Right, at, frame);
  return scene;
}

}  // namespace viewer
}  // namespace ZEMBRA
