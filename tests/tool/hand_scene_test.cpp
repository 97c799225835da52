// The hand viewer's scene: live poses placed exactly as a recording writes
// them, finger bends and palms read off the skeleton for each hand, and
// hierarchies of other shapes drawn whole.
#include "tool/viewer/hand_scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "tests/support/engine_hands.h"
#include "tool/recording/bvh_writer.h"

namespace ZEMBRA {
namespace viewer {
namespace {

using recording::BvhFile;
using recording::BvhParseResult;
using testsupport::EngineHand;

std::string BonesText() {
  std::ifstream in(ZEMBRA_BONES_FILE, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

BvhFile Parse(const std::string& text) {
  const BvhParseResult parsed = recording::ParseBvh(text);
  EXPECT_TRUE(parsed.ok) << parsed.errorLine << ": " << parsed.error;
  return parsed.file;
}

BvhFile Bones() { return Parse(BonesText() + "MOTION\nFrames: 0\nFrame Time: 0.033333\n"); }

Vec3 Minus(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Vec3 At(const HandSkeleton& skeleton, const std::vector<double>& frame, const char* joint) {
  const int index = recording::FindJoint(skeleton.file(), joint);
  EXPECT_GE(index, 0) << joint;
  return recording::JointPositions(skeleton.file(), frame.data())[size_t(index)];
}

Vec3 TipOf(const HandSkeleton& skeleton, const std::vector<double>& frame, const std::string& distal) {
  const BvhFile& file = skeleton.file();
  const int parent = recording::FindJoint(file, distal);
  const auto at = recording::JointPositions(file, frame.data());
  for (size_t j = 0; j < file.joints.size(); ++j)
    if (file.joints[j].endSite && file.joints[j].parent == parent) return at[j];
  ADD_FAILURE() << distal;
  return {};
}

TEST(HandScene, ALivePoseIsDrawnExactlyAsItsRecordingReadsBack) {
  const Pose left = EngineHand(Hand_Left, 40, 20), right = EngineHand(Hand_Right, 70, 45);
  HandSkeleton live(Bones());
  ASSERT_TRUE(live.HasHand(Hand_Left) && live.HasHand(Hand_Right));
  std::vector<double> frame = live.RestFrame();
  live.PlacePose(left, Hand_Left, frame);
  live.PlacePose(right, Hand_Right, frame);
  const Scene shown = live.Build(frame.data());

  const BvhFile recorded = Parse(recording::BuildBvhText(BonesText(), {left}, {right}));
  ASSERT_EQ(recorded.frameCount, 1);
  const Scene played = HandSkeleton(recorded).Build(recorded.values.data());
  ASSERT_EQ(shown.bones.size(), played.bones.size());
  ASSERT_EQ(shown.bones.size(), 2u * (15u + 5u));  // to each finger joint and tip; none to the root or a wrist
  for (size_t b = 0; b < shown.bones.size(); ++b) {
    // The file holds six significant digits.
    EXPECT_NEAR(shown.bones[b].to.x, played.bones[b].to.x, 2e-3) << b;
    EXPECT_NEAR(shown.bones[b].to.y, played.bones[b].to.y, 2e-3) << b;
    EXPECT_NEAR(shown.bones[b].to.z, played.bones[b].to.z, 2e-3) << b;
  }
}

TEST(HandScene, AFlatHandAndAFistHaveTheirBendsPalmAndThumbOnTheRightSide) {
  HandSkeleton skeleton(Bones());
  for (HandType hand : {Hand_Left, Hand_Right}) {
    const std::string name = hand == Hand_Left ? "LeftHand" : "RightHand";
    const int side = hand == Hand_Left ? 0 : 1;
    std::vector<double> flat = skeleton.RestFrame(), fist = skeleton.RestFrame();
    skeleton.PlacePose(EngineHand(hand, 0, 0), hand, flat);
    skeleton.PlacePose(EngineHand(hand, 90, 60), hand, fist);
    const HandInfo open = skeleton.Build(flat.data()).hands[side];
    const HandInfo closed = skeleton.Build(fist.data()).hands[side];
    ASSERT_TRUE(open.present && closed.present);
    EXPECT_FALSE(skeleton.Build(flat.data()).hands[1 - side].bends[1] > 1) << "the other hand stays at rest";

    // The engine's fist turns each long finger's three joints by 0.45, 0.55
    // and 0.5 of its bend against the one before; the thumb's outer two by
    // 0.2 and 0.25 + 0.0025 * 60 of its own. Rest offsets that bend the
    // skeleton (the knuckles sit off the fingers' line) are no bend.
    for (int f = 1; f < kFingers; ++f) {
      EXPECT_NEAR(open.bends[size_t(f)], 0, 0.5) << name << f;
      EXPECT_NEAR(closed.bends[size_t(f)], 1.5 * 90, 0.5) << name << f;
    }
    EXPECT_NEAR(open.bends[0], 0, 0.5) << name;
    EXPECT_NEAR(closed.bends[0], 0.6 * 60, 0.5) << name;

    // Both palms face down, and a fist closes every finger, the thumb too,
    // towards the palm.
    EXPECT_NEAR(Dot(open.palm, open.palm), 1, 1e-9);
    EXPECT_LT(open.palm.y, -0.95) << name;
    for (const char* finger : {"Index", "Middle", "Ring", "Pinky", "Thumb"}) {
      const std::string distal = name + finger + "3";
      EXPECT_GT(Dot(Minus(TipOf(skeleton, fist, distal), TipOf(skeleton, flat, distal)), open.palm),
                finger[0] == 'T' ? 2.5 : 5)
          << distal;
    }
    // Seen from the palm side with the fingers up, a right hand has its
    // thumb on the right and a left hand on the left.
    const Vec3 up = Minus(At(skeleton, flat, (name + "Middle1").c_str()), open.wrist);
    const Vec3 viewersRight = Cross(up, open.palm);
    const double thumb = Dot(Minus(At(skeleton, flat, (name + "Thumb1").c_str()), open.wrist), viewersRight);
    if (hand == Hand_Right)
      EXPECT_GT(thumb, 1);
    else
      EXPECT_LT(thumb, -1);
  }
}

TEST(HandScene, OtherHierarchiesAreDrawnWholeWithoutHands) {
  // Two roots, position channels, End Sites, Windows line ends, and a
  // "LeftHand" without fingers.
  const std::string text =
      "HIERARCHY\r\nROOT Hips\r\n{\r\n OFFSET 0 0 0\r\n CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation "
      "Yrotation\r\n JOINT Spine\r\n {\r\n  OFFSET 0 10 0\r\n  CHANNELS 3 Zrotation Xrotation Yrotation\r\n  End "
      "Site\r\n"
      "  {\r\n   OFFSET 0 5 0\r\n  }\r\n }\r\n JOINT LeftHand\r\n {\r\n  OFFSET 4 0 0\r\n  CHANNELS 3 Zrotation "
      "Xrotation "
      "Yrotation\r\n  End Site\r\n  {\r\n   OFFSET 1 0 0\r\n  }\r\n }\r\n}\r\nROOT Prop\r\n{\r\n OFFSET 3 0 0\r\n "
      "CHANNELS 3 "
      "Xposition Yposition Zposition\r\n End Site\r\n {\r\n  OFFSET 1 0 0\r\n }\r\n}\r\nMOTION\r\nFrames: 1\r\n"
      "Frame Time: 0.04\r\n1 2 3 0 0 90 0 0 0 0 0 0 5 5 5\r\n";
  const BvhFile file = Parse(text);
  HandSkeleton skeleton(file);
  EXPECT_FALSE(skeleton.HasHand(Hand_Left));
  EXPECT_FALSE(skeleton.HasHand(Hand_Right));
  std::vector<double> frame(file.values.begin(), file.values.end());
  skeleton.PlacePose(EngineHand(Hand_Left, 50, 0), Hand_Left, frame);
  EXPECT_EQ(frame, file.values) << "no live pose for a hand the hierarchy lacks";

  const Scene scene = skeleton.Build(frame.data());
  EXPECT_FALSE(scene.hands[0].present || scene.hands[1].present);
  // Roots with channels are bodies of their own: bones start at them.
  ASSERT_EQ(scene.bones.size(), 5u);
  auto near = [](const Vec3& a, Vec3 b) {
    return std::fabs(a.x - b.x) + std::fabs(a.y - b.y) + std::fabs(a.z - b.z) < 1e-9;
  };
  EXPECT_TRUE(near(scene.bones[0].from, {1, 2, 3}));
  EXPECT_TRUE(near(scene.bones[0].to, {1, 12, 3}));  // Spine
  EXPECT_TRUE(near(scene.bones[1].to, {1, 17, 3}));  // its tip
  EXPECT_TRUE(near(scene.bones[2].to, {1, 2, -1}));  // LeftHand: turned 90 degrees about Y with the hips
  EXPECT_EQ(scene.bones[2].side, Side::Left);
  EXPECT_EQ(scene.bones[3].side, Side::Left) << "an End Site takes its joint's side";
  EXPECT_TRUE(near(scene.bones[4].from, {8, 5, 5}));  // Prop
  EXPECT_TRUE(near(scene.bones[4].to, {9, 5, 5}));
  EXPECT_TRUE(near(scene.lo, {1, 2, -2}));
  EXPECT_TRUE(near(scene.hi, {9, 17, 5}));
}

}  // namespace
}  // namespace viewer
}  // namespace ZEMBRA
