// The hands' figures pictures are drawn from: the skeleton's own joints,
// a palm round the wrist, the knuckles and the thumb's root, fingers thick
// enough to see and apart from each other, a fist closing away from the
// back, and a first view over the backs with the left hand on the left,
// the fingers up and every point in sight.
#include "tool/recording/hand_figure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "tests/support/engine_hands.h"

namespace ZEMBRA {
namespace recording {
namespace {

using testsupport::EngineHand;

Vec3 Minus(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double Length(const Vec3& a) { return std::sqrt(Dot(a, a)); }
Vec3 Cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

SkeletonHands Bones() {
  std::ifstream in(ZEMBRA_BONES_FILE, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  const BvhParseResult parsed = ParseBvh(text.str() + "MOTION\nFrames: 0\nFrame Time: 0.033333\n");
  EXPECT_TRUE(parsed.ok) << parsed.error;
  return SkeletonHands(parsed.file);
}

HandFigure FigureOf(const SkeletonHands& s, const Pose& pose, HandType hand) {
  std::vector<double> frame = s.RestFrame();
  s.PlacePose(pose, hand, frame);
  const std::optional<HandFigure> f = s.Figure(hand, JointPositions(s.file(), frame.data()), frame.data());
  EXPECT_TRUE(f);
  return f.value_or(HandFigure{});
}

TEST(HandFigure, PointsPalmAndThicknessComeFromTheSkeletonsOwnJoints) {
  const SkeletonHands s = Bones();
  const char* fingers[kFingers] = {"Thumb", "Index", "Middle", "Ring", "Pinky"};
  for (HandType hand : {Hand_Left, Hand_Right}) {
    const std::string name = hand == Hand_Left ? "LeftHand" : "RightHand";
    std::vector<double> frame = s.RestFrame();
    s.PlacePose(EngineHand(hand, 50, 20), hand, frame);
    const std::vector<Vec3> at = JointPositions(s.file(), frame.data());
    const HandFigure f = *s.Figure(hand, at, frame.data());
    EXPECT_EQ(f.hand, hand);
    const auto same = [](const Vec3& a, const Vec3& b) { return Length(Minus(a, b)) < 1e-12; };
    EXPECT_TRUE(same(f.points[0], at[size_t(FindJoint(s.file(), name))]));
    for (int finger = 0; finger < kFingers; ++finger) {
      for (int k = 1; k <= 3; ++k) {
        const int joint = FindJoint(s.file(), name + fingers[finger] + std::to_string(k));
        EXPECT_TRUE(same(f.points[size_t(FigurePoint(finger, k))], at[size_t(joint)])) << name << finger << k;
        EXPECT_EQ(s.JointOf(hand, FigurePoint(finger, k)), joint);
      }
      const int tip = s.JointOf(hand, FigurePoint(finger, 4));
      EXPECT_TRUE(s.file().joints[size_t(tip)].endSite);
      EXPECT_EQ(s.file().joints[size_t(tip)].parent, s.JointOf(hand, FigurePoint(finger, 3)));
    }

    // Round the palm: the wrist's two sides, the thumb's root, the knuckles.
    EXPECT_TRUE(same(f.palm[1], f.points[size_t(FigurePoint(0, 1))]));
    for (int finger = 1; finger < kFingers; ++finger)
      EXPECT_TRUE(same(f.palm[size_t(finger + 1)], f.points[size_t(FigurePoint(finger, 1))]));
    const Vec3 middleOfWrist{(f.palm[0].x + f.palm[6].x) / 2, (f.palm[0].y + f.palm[6].y) / 2,
                             (f.palm[0].z + f.palm[6].z) / 2};
    EXPECT_TRUE(same(middleOfWrist, f.points[0]));
    const double knuckles = Length(Minus(f.points[size_t(FigurePoint(1, 1))], f.points[size_t(FigurePoint(4, 1))]));
    const double wrist = Length(Minus(f.palm[0], f.palm[6]));
    EXPECT_GT(wrist, 0.5 * knuckles);
    EXPECT_LT(wrist, knuckles);
    // The wrist's thumb side is nearer the thumb's root than its pinky side.
    EXPECT_LT(Length(Minus(f.palm[0], f.palm[1])), Length(Minus(f.palm[6], f.palm[1])));

    // Fingers thick enough to see, and apart from their neighbours.
    for (int finger = 1; finger + 1 < kFingers; ++finger) {
      const double gap =
          Length(Minus(f.points[size_t(FigurePoint(finger, 1))], f.points[size_t(FigurePoint(finger + 1, 1))]));
      EXPECT_LT(2 * f.radius, gap) << name << finger;
      EXPECT_GT(2 * f.radius, 0.6 * gap) << name << finger;
    }
    EXPECT_NEAR(Length(f.back), 1, 1e-9);
    EXPECT_GT(f.bends[2], 50);
  }
  EXPECT_FALSE(SkeletonHands(BvhFile{}).HasHand(Hand_Left));
  EXPECT_FALSE(SkeletonHands(BvhFile{}).Figure(Hand_Left, {}, nullptr));
}

TEST(HandFigure, AFistClosesAwayFromTheBackAndTheFirstViewLooksAtTheBacks) {
  const SkeletonHands s = Bones();
  std::vector<HandFigure> both;
  for (HandType hand : {Hand_Left, Hand_Right}) {
    const HandFigure open = FigureOf(s, EngineHand(hand, 0, 0), hand);
    const HandFigure fist = FigureOf(s, EngineHand(hand, 90, 60), hand);
    for (int finger = 1; finger < kFingers; ++finger) {
      const Vec3 moved =
          Minus(fist.points[size_t(FigurePoint(finger, 4))], open.points[size_t(FigurePoint(finger, 4))]);
      EXPECT_LT(Dot(moved, open.back), -3) << hand << " finger " << finger;
    }
    both.push_back(open);
  }

  for (const std::vector<HandFigure>& seen :
       {both, std::vector<HandFigure>{both[0]}, std::vector<HandFigure>{both[1]}}) {
    const HandsCamera c = CameraOnHands(seen);
    const Vec3 toEye = Minus(c.eye, c.target);
    const double distance = Length(toEye);
    const Vec3 back{toEye.x / distance, toEye.y / distance, toEye.z / distance};
    const Vec3 right = Cross(c.up, back);
    EXPECT_NEAR(Length(c.up), 1, 1e-9);
    EXPECT_NEAR(Dot(c.up, back), 0, 1e-9);
    for (const HandFigure& f : seen) {
      // Above the back, a little off straight over it.
      EXPECT_GT(Dot(back, f.back), 0.7);
      EXPECT_LT(Dot(back, f.back), 0.99);
      EXPECT_GT(Dot(c.up, Minus(f.points[size_t(FigurePoint(2, 1))], f.points[0])), 0) << "fingers up";
      EXPECT_LT(Dot(Minus(c.floorCentre, f.points[0]), c.floorNormal), 0) << "the floor under the hand";
      const double half = std::tan(c.fieldOfView * 3.141592653589793 / 360);
      for (const Vec3& p : f.points) {
        const Vec3 d = Minus(p, c.eye);
        const double depth = -Dot(d, back);
        ASSERT_GT(depth, 0);
        EXPECT_LT(std::fabs(Dot(d, right)) / depth, half);
        EXPECT_LT(std::fabs(Dot(d, c.up)) / depth, half);
      }
    }
    if (seen.size() == 2) {
      EXPECT_GT(Dot(right, Minus(both[1].points[0], both[0].points[0])), 0) << "left on the left";
    }
  }
}

}  // namespace
}  // namespace recording
}  // namespace ZEMBRA
