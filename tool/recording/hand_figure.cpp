#include "tool/recording/hand_figure.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "tool/recording/bvh_writer.h"

namespace ZEMBRA {
namespace recording {

namespace {

constexpr const char* kFingerNames[kFingers] = {"Thumb", "Index", "Middle", "Ring", "Pinky"};
constexpr double kPi = 3.141592653589793;

// A finger bone's radius against the palm's width at the knuckles; the
// wrist's width against the same.
constexpr double kRadiusOfWidth = 1.0 / 7;
constexpr double kWristOfWidth = 0.8;
// The view: turned away from straight over the backs (degrees).
constexpr double kTilt = 30;  // towards the fingertips
constexpr double kTurn = 20;  // to the side
constexpr double kFieldOfView = 40;

Vec3 Plus(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 Minus(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 Times(const Vec3& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Length(const Vec3& a) { return std::sqrt(Dot(a, a)); }
Vec3 Unit(const Vec3& a) {
  const double n = Length(a);
  return n > 0 ? Times(a, 1 / n) : Vec3{};
}
// v turned by degrees about the unit axis k (right-handed).
Vec3 Turn(const Vec3& v, const Vec3& k, double degrees) {
  const double a = degrees * kPi / 180, c = std::cos(a), s = std::sin(a);
  return Plus(Plus(Times(v, c), Times(Cross(k, v), s)), Times(k, Dot(k, v) * (1 - c)));
}

int Side(HandType hand) { return hand == Hand_Right ? 1 : 0; }

}  // namespace

SkeletonHands::SkeletonHands(BvhFile file) : file_(std::move(file)) {
  for (int side = 0; side < 2; ++side) {
    std::array<int, kFigurePoints>& joints = joints_[side];
    joints.fill(-1);
    const std::string hand = side == 0 ? "LeftHand" : "RightHand";
    joints[0] = FindJoint(file_, hand);
    bool whole = joints[0] >= 0;
    for (int f = 0; f < kFingers && whole; ++f) {
      for (int k = 1; k <= 3; ++k)
        joints[size_t(FigurePoint(f, k))] = FindJoint(file_, hand + kFingerNames[f] + std::to_string(k));
      // The tip: the End Site below the third joint.
      const int third = joints[size_t(FigurePoint(f, 3))];
      for (size_t j = 0; third >= 0 && j < file_.joints.size(); ++j)
        if (file_.joints[j].endSite && file_.joints[j].parent == third) joints[size_t(FigurePoint(f, 4))] = int(j);
    }
    whole = whole && std::count(joints.begin(), joints.end(), -1) == 0;
    // Live poses need the hand's 48 channels in the order a recording writes.
    if (whole && file_.joints[size_t(joints[0])].firstChannel + kChannelsPerHand > file_.channelCount) whole = false;
    if (!whole) joints.fill(-1);
  }
}

bool SkeletonHands::HasHand(HandType hand) const {
  if (hand != Hand_Left && hand != Hand_Right) return false;
  return joints_[Side(hand)][0] >= 0;
}

std::vector<double> SkeletonHands::RestFrame() const { return std::vector<double>(size_t(file_.channelCount), 0.0); }

void SkeletonHands::PlacePose(const Pose& pose, HandType hand, std::vector<double>& frame) const {
  if (!HasHand(hand) || frame.size() != size_t(file_.channelCount)) return;
  const int wrist = joints_[Side(hand)][0];
  BvhFrameHalfValues(pose, hand, frame.data() + file_.joints[size_t(wrist)].firstChannel);
}

int SkeletonHands::JointOf(HandType hand, int point) const {
  if (!HasHand(hand) || point < 0 || point >= kFigurePoints) return -1;
  return joints_[Side(hand)][size_t(point)];
}

std::optional<HandFigure> SkeletonHands::Figure(HandType hand, const std::vector<Vec3>& at, const double* frame) const {
  if (!HasHand(hand) || at.size() != file_.joints.size()) return std::nullopt;
  const std::array<int, kFigurePoints>& joints = joints_[Side(hand)];
  HandFigure figure;
  figure.hand = hand;
  for (int p = 0; p < kFigurePoints; ++p) figure.points[size_t(p)] = at[size_t(joints[size_t(p)])];

  const Vec3& wrist = figure.points[0];
  const Vec3& index = figure.points[size_t(FigurePoint(1, 1))];
  const Vec3& pinky = figure.points[size_t(FigurePoint(4, 1))];
  // Across the knuckles towards the thumb, and along the hand. A left hand
  // has its thumb on the right of the fingers seen from its back, so their
  // cross product leaves the back of a left hand; a right hand is its
  // mirror image, and the product leaves its palm.
  const Vec3 across = Minus(index, pinky);
  const Vec3 along = Minus(figure.points[size_t(FigurePoint(2, 1))], wrist);
  const Vec3 normal = Unit(Cross(across, along));
  figure.back = hand == Hand_Left ? normal : Times(normal, -1);
  figure.radius = Length(across) * kRadiusOfWidth;

  const Vec3 halfWrist = Times(across, kWristOfWidth / 2);
  figure.palm = {Plus(wrist, halfWrist),
                 figure.points[size_t(FigurePoint(0, 1))],
                 index,
                 figure.points[size_t(FigurePoint(2, 1))],
                 figure.points[size_t(FigurePoint(3, 1))],
                 pinky,
                 Minus(wrist, halfWrist)};

  for (int f = 0; f < kFingers; ++f) {
    double bend = 0;
    for (int k = f == 0 ? 2 : 1; k <= 3; ++k)
      bend += JointTurn(file_.joints[size_t(joints[size_t(FigurePoint(f, k))])], frame);
    figure.bends[size_t(f)] = bend;
  }
  return figure;
}

HandsCamera CameraOnHands(const std::vector<HandFigure>& figures) {
  HandsCamera camera;
  camera.fieldOfView = kFieldOfView;
  if (figures.empty()) return camera;
  Vec3 lo = figures[0].points[0], hi = lo, back, along, wrists[2];
  int count[2] = {0, 0};
  for (const HandFigure& f : figures) {
    for (const Vec3& p : f.points) {
      lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
      hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    back = Plus(back, f.back);
    along = Plus(along, Minus(f.points[size_t(FigurePoint(2, 1))], f.points[0]));
    wrists[Side(f.hand)] = Plus(wrists[Side(f.hand)], f.points[0]);
    ++count[Side(f.hand)];
  }
  camera.target = Times(Plus(lo, hi), 0.5);
  camera.extent = std::max(Length(Minus(hi, lo)), 1e-6);
  // Backs turned against each other cancel: then the first hand's counts.
  back = Length(back) > 0.1 * double(figures.size()) ? Unit(back) : figures[0].back;

  // The left hand on the left; a hand alone with its fingers up.
  Vec3 right;
  if (count[0] > 0 && count[1] > 0) {
    const Vec3 across = Minus(Times(wrists[1], 1.0 / count[1]), Times(wrists[0], 1.0 / count[0]));
    right = Minus(across, Times(back, Dot(across, back)));
  }
  if (Length(right) < 1e-6 * camera.extent) right = Cross(along, back);
  if (Length(right) < 1e-9)
    right = Cross(Length(Cross(Vec3{0, 1, 0}, back)) > 0.1 ? Vec3{0, 1, 0} : Vec3{1, 0, 0}, back);
  right = Unit(right);
  const Vec3 up = Cross(back, right);

  // Straight over the backs a curl goes away from the camera and hides; a
  // look from a little beyond the fingertips and to the side shows it.
  Vec3 toEye = Turn(back, right, -kTilt), camUp = Turn(up, right, -kTilt);
  toEye = Turn(toEye, up, kTurn);
  camUp = Turn(camUp, up, kTurn);
  const double distance = camera.extent / (2 * std::tan(kFieldOfView * kPi / 360)) * 1.4;
  camera.eye = Plus(camera.target, Times(toEye, distance));
  camera.up = Unit(camUp);

  // The floor: under the lowest point below the backs.
  double below = 0;
  for (const HandFigure& f : figures)
    for (const Vec3& p : f.points) below = std::min(below, Dot(Minus(p, camera.target), back));
  camera.floorNormal = back;
  camera.floorCentre = Plus(camera.target, Times(back, below - camera.extent * 0.15));
  return camera;
}

}  // namespace recording
}  // namespace ZEMBRA
