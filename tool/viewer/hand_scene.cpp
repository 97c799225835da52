#include "tool/viewer/hand_scene.h"

#include <algorithm>
#include <cmath>

#include "tool/recording/bvh_writer.h"

namespace ZEMBRA {
namespace viewer {

namespace {

constexpr const char* kFingerNames[kFingers] = {"Thumb", "Index", "Middle", "Ring", "Pinky"};

Vec3 Minus(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 Cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double Length(const Vec3& a) { return std::sqrt(Dot(a, a)); }
Vec3 Unit(const Vec3& a) {
  const double n = Length(a);
  return n > 0 ? Vec3{a.x / n, a.y / n, a.z / n} : Vec3{};
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

HandSkeleton::HandSkeleton(const recording::BvhFile& file) : file_(file) {
  const size_t count = file_.joints.size();
  sides_.assign(count, Side::Other);
  drawn_.assign(count, true);
  for (size_t j = 0; j < count; ++j) {
    const recording::BvhJoint& joint = file_.joints[j];
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
      const recording::BvhJoint& parent = file_.joints[size_t(joint.parent)];
      drawn_[j] = !(parent.parent < 0 && parent.channels.empty());
    }
  }

  for (int side = 0; side < 2; ++side) {
    const std::string hand = side == 0 ? "LeftHand" : "RightHand";
    Hand& h = hands_[side];
    h.wrist = recording::FindJoint(file_, hand);
    if (h.wrist < 0) continue;
    for (int f = 0; f < kFingers; ++f) {
      Chain& chain = h.fingers[f];
      chain.joints[0] = h.wrist;
      for (int k = 1; k <= 3; ++k)
        chain.joints[k] = recording::FindJoint(file_, hand + kFingerNames[f] + std::to_string(k));
      // The tip: the End Site below the third joint.
      for (size_t j = 0; chain.joints[3] >= 0 && j < count; ++j)
        if (file_.joints[j].endSite && file_.joints[j].parent == chain.joints[3]) chain.joints[4] = int(j);
      if (std::count(std::begin(chain.joints), std::end(chain.joints), -1) > 0) h.wrist = -1;
    }
    // Live poses need the hand's 48 channels in the order a recording writes.
    if (h.wrist >= 0 && file_.joints[size_t(h.wrist)].firstChannel + recording::kChannelsPerHand > file_.channelCount)
      h.wrist = -1;
  }
}

bool HandSkeleton::HasHand(HandType hand) const {
  if (hand != Hand_Left && hand != Hand_Right) return false;
  return hands_[hand == Hand_Left ? 0 : 1].wrist >= 0;
}

std::vector<double> HandSkeleton::RestFrame() const { return std::vector<double>(size_t(file_.channelCount), 0.0); }

void HandSkeleton::PlacePose(const Pose& pose, HandType hand, std::vector<double>& frame) const {
  if (!HasHand(hand) || frame.size() != size_t(file_.channelCount)) return;
  const int wrist = hands_[hand == Hand_Left ? 0 : 1].wrist;
  recording::BvhFrameHalfValues(pose, hand, frame.data() + file_.joints[size_t(wrist)].firstChannel);
}

HandInfo HandSkeleton::Describe(const Hand& hand, Side side, const std::vector<Vec3>& at, const double* frame) const {
  HandInfo info;
  if (hand.wrist < 0) return info;
  info.present = true;
  info.wrist = at[size_t(hand.wrist)];
  // Across the knuckles towards the thumb, and along the hand: their cross
  // product leaves the palm of a right hand and the back of a left one.
  const Vec3 across = Minus(at[size_t(hand.fingers[1].joints[1])], at[size_t(hand.fingers[4].joints[1])]);
  const Vec3 along = Minus(at[size_t(hand.fingers[2].joints[1])], info.wrist);
  const Vec3 normal = Unit(Cross(across, along));
  info.palm = side == Side::Right ? normal : Vec3{-normal.x, -normal.y, -normal.z};
  for (int f = 0; f < kFingers; ++f) {
    double bend = 0;
    for (int k = f == 0 ? 2 : 1; k <= 3; ++k)
      bend += recording::JointTurn(file_.joints[size_t(hand.fingers[f].joints[k])], frame);
    info.bends[size_t(f)] = bend;
  }
  return info;
}

Scene HandSkeleton::Build(const double* frame) const {
  const std::vector<Vec3> at = recording::JointPositions(file_, frame);
  Scene scene;
  if (!at.empty()) scene.lo = scene.hi = at[0];
  for (size_t j = 0; j < at.size(); ++j) {
    const Vec3& p = at[j];
    scene.lo = {std::min(scene.lo.x, p.x), std::min(scene.lo.y, p.y), std::min(scene.lo.z, p.z)};
    scene.hi = {std::max(scene.hi.x, p.x), std::max(scene.hi.y, p.y), std::max(scene.hi.z, p.z)};
    if (!drawn_[j]) continue;
    scene.bones.push_back({at[size_t(file_.joints[j].parent)], p, sides_[j]});
    if (!file_.joints[j].endSite) scene.joints.push_back({p, sides_[j]});
  }
  for (size_t j = 0; j < at.size(); ++j)
    if (!drawn_[j] && !file_.joints[j].channels.empty()) scene.joints.push_back({at[j], sides_[j]});
  scene.hands[0] = Describe(hands_[0], Side::Left, at, frame);
  scene.hands[1] = Describe(hands_[1], Side::Right, at, frame);
  return scene;
}

}  // namespace viewer
}  // namespace ZEMBRA
