// The mapping of our joints onto SteamVR's hand, through the driver's own
// pose engine fed by the simulated glove: the reference tables as loaded
// (their fingertips where the published figures put them), the split of a
// joint into spread and bend, the bend and spread axes, an open hand and a
// fist of both hands against the reference ones, the curls, a hand whose
// wrist turns, and spreads that turn a finger towards the thumb.
#include <gtest/gtest.h>

#include "steamvr/skeleton/hand_mapping.h"
#include "tests/steamvr/engine_pose.h"

namespace ZEMBRA {
namespace skeleton {
namespace {

using rigid::Quat;
using rigid::Vec3;
using steamvrtest::SimulatedHand;
using steamvrtest::Tip;

constexpr HandType kHands[] = {Hand_Left, Hand_Right};

double Mm(const Vec3& a, const Vec3& b) { return 1000 * rigid::Length(a - b); }

TEST(ReferenceHand, TipsLieWhereThePublishedFiguresPutThem) {
  // Root-frame fingertips of the right hand, mm, open and fist.
  const struct {
    int bone;
    Vec3 open, fist;
  } tips[] = {{kThumb3, {0.90, 74.83, 36.45}, {-15.75, -19.09, 114.75}},
              {kIndex4, {41.64, -58.02, 2.19}, {22.62, 15.61, 95.87}},
              {kPinky4, {29.10, -104.67, 117.47}, {14.38, -31.40, 141.59}}};
  for (HandType hand : kHands) {
    const ReferenceHand reference = LoadReferenceHand(hand);
    const double mirror = hand == Hand_Right ? 1 : -1;
    for (const auto& t : tips) {
      const Vec3 open{mirror * t.open.x, t.open.y, t.open.z}, fist{mirror * t.fist.x, t.fist.y, t.fist.z};
      EXPECT_LT(Mm(Tip(reference.open, t.bone), 0.001 * open), 0.02) << hand << " open " << t.bone;
      EXPECT_LT(Mm(Tip(reference.fist, t.bone), 0.001 * fist), 0.02) << hand << " fist " << t.bone;
    }
    for (int b = 0; b < kBoneCount; ++b) {
      EXPECT_NEAR(rigid::Dot(reference.open[b].rotation, reference.open[b].rotation), 1.0, 1e-12);
      EXPECT_LT(kBoneParent[b], b);
    }
  }
}

TEST(HandMapping, AJointSplitsIntoSpreadAndBendAsTheEngineComposesThem) {
  for (double spread : {-20.0, 0.0, 7.5})
    for (double bend : {-10.0, 0.0, 45.0, 95.0}) {
      const Quat q = rigid::AxisAngle({0, 1, 0}, spread) * rigid::AxisAngle({0, 0, 1}, bend);
      const SpreadBend split = SplitJoint(q);
      EXPECT_NEAR(split.spread, spread, 1e-9);
      EXPECT_NEAR(split.bend, bend, 1e-9);
    }
}

TEST(HandMapping, BonesBendAboutTheirReferenceAxesAndSpreadTowardsTheThumb) {
  for (HandType hand : kHands) {
    const HandMapper mapper(hand);
    // The published turns of the index finger's phalanges.
    EXPECT_NEAR(mapper.motion(kIndex1).fistDegrees, 74.39, 0.01);
    EXPECT_NEAR(mapper.motion(kIndex2).fistDegrees, 109.96, 0.01);
    EXPECT_NEAR(mapper.motion(kIndex3).fistDegrees, 85.18, 0.01);
    EXPECT_NEAR(mapper.motion(kIndex2).bendAxis.z, 0.998, 0.001);
    EXPECT_EQ(mapper.motion(kIndex4).fistDegrees, 0.0);
    EXPECT_EQ(mapper.motion(kWrist).fistDegrees, 0.0);
    // A positive turn about a phalanx's spread axis takes the fingertip
    // towards the thumb, +y of the wrist's frame, in both hands.
    for (int b : {kIndex1, kIndex2, kMiddle1, kRing1, kPinky1, kPinky3}) {
      Bones turned;
      for (int i = 0; i < kBoneCount; ++i) turned[i] = mapper.reference().open[i];
      turned[b].rotation = turned[b].rotation * rigid::AxisAngle(mapper.motion(b).spreadAxis, 5);
      const int tip = b < kMiddle0 ? kIndex4 : b < kRing0 ? kMiddle4 : b < kPinky0 ? kRing4 : kPinky4;
      Bones root, rootTurned;
      ToRootFrame(mapper.reference().open, root);
      ToRootFrame(turned, rootTurned);
      const Vec3 moved =
          rigid::Rotate(rigid::Conj(root[kWrist].rotation), rootTurned[tip].position - root[tip].position);
      EXPECT_GT(moved.y, 0.5e-3) << hand << " bone " << b;
    }
  }
}

TEST(HandMapping, TheSimulatedOpenHandIsTheReferenceOpenHandBoneByBone) {
  for (HandType hand : kHands) {
    const HandMapper mapper(hand);
    const HandSkeleton open = mapper.Map(SimulatedHand(hand, sim::HandMotion::Open));
    for (int b = 0; b < kBoneCount; ++b) {
      EXPECT_LT(rigid::AngleBetween(open.bones[b].rotation, mapper.reference().open[b].rotation), 10.0)
          << hand << " bone " << b;
      EXPECT_LT(Mm(open.bones[b].position, mapper.reference().open[b].position), 10.0) << hand << " bone " << b;
    }
    for (int tip : steamvrtest::kTips) EXPECT_LT(Mm(Tip(open.bones, tip), Tip(mapper.reference().open, tip)), 15.0);
    for (double curl : open.curl) EXPECT_NEAR(curl, 0.0, 0.02);
    EXPECT_NEAR(open.thumbCurl, 0.0, 0.02);
    EXPECT_NEAR(open.trigger, 0.0, 0.02);
    EXPECT_NEAR(open.grip, 0.0, 0.02);
  }
}

TEST(HandMapping, TheSimulatedFistClosesEveryFingertipOnTheReferenceFist) {
  for (HandType hand : kHands) {
    const HandMapper mapper(hand);
    const HandSkeleton fist = mapper.Map(SimulatedHand(hand, sim::HandMotion::Fist));
    const ReferenceHand& reference = mapper.reference();
    for (int tip : steamvrtest::kTips) {
      const double from = Mm(Tip(reference.open, tip), Tip(reference.fist, tip));
      const double left = Mm(Tip(fist.bones, tip), Tip(reference.fist, tip));
      EXPECT_LT(left, 0.15 * from) << hand << " tip " << tip;
    }
    for (int b : {kIndex2, kMiddle2, kRing2, kPinky2, kThumb2})
      EXPECT_LT(rigid::AngleBetween(fist.bones[b].rotation, reference.fist[b].rotation), 10.0) << hand << " " << b;
    for (double curl : fist.curl) EXPECT_NEAR(curl, 1.0, 0.02);
    EXPECT_NEAR(fist.thumbCurl, 1.0, 0.02);
    EXPECT_NEAR(fist.trigger, 1.0, 0.02);
    EXPECT_NEAR(fist.grip, 1.0, 0.02);
    // The aux bones follow the fingers: each sits on its distal bone.
    Bones root;
    ToRootFrame(fist.bones, root);
    EXPECT_LT(Mm(fist.bones[kAuxIndex].position, root[kIndex3].position), 1e-6);
    EXPECT_LT(Mm(fist.bones[kAuxIndex].position, reference.fist[kAuxIndex].position), 15.0);
    EXPECT_LT(rigid::AngleBetween(fist.bones[kAuxIndex].rotation, reference.fist[kAuxIndex].rotation), 15.0);
  }
}

TEST(HandMapping, HalfABendIsHalfWayAndTheWristsTurnDoesNotMatter) {
  for (HandType hand : kHands) {
    const HandMapper mapper(hand);
    sim::HandFrame frame = sim::GloveModel(hand, sim::HandMotion::Open).At(0);
    frame.bend = {45, 45, 45, 45, 30};  // fingers 45 of 5..85, thumb 30 of 5..55
    const HandSkeleton half = mapper.Map(steamvrtest::EnginePose(hand, frame));
    for (double curl : half.curl) EXPECT_NEAR(curl, 0.5, 0.02);
    EXPECT_NEAR(half.thumbCurl, 0.5, 0.02);
    EXPECT_NEAR(rigid::AngleBetween(half.bones[kIndex2].rotation, mapper.reference().open[kIndex2].rotation),
                0.5 * mapper.motion(kIndex2).fistDegrees, 2.0);

    frame.wrist = sim::Mul(sim::RotYD(70), sim::RotXD(-40));
    const HandSkeleton turned = mapper.Map(steamvrtest::EnginePose(hand, frame));
    for (int b = 0; b < kBoneCount; ++b)
      EXPECT_LT(rigid::AngleBetween(turned.bones[b].rotation, half.bones[b].rotation), 0.5) << hand << " " << b;
  }
}

TEST(HandMapping, AMeasuredSpreadTurnsTheFingerTowardsTheThumb) {
  for (HandType hand : kHands) {
    const HandMapper mapper(hand);
    sim::HandFrame frame = sim::GloveModel(hand, sim::HandMotion::Open).At(0);
    const HandSkeleton before = mapper.Map(steamvrtest::EnginePose(hand, frame));
    // Our spreads turn a left hand's finger towards the thumb when positive.
    frame.spread[3] += hand == Hand_Right ? -10 : 10;  // the index finger
    const HandSkeleton after = mapper.Map(steamvrtest::EnginePose(hand, frame));
    Bones root, rootAfter;
    ToRootFrame(before.bones, root);
    ToRootFrame(after.bones, rootAfter);
    const Vec3 moved =
        rigid::Rotate(rigid::Conj(root[kWrist].rotation), rootAfter[kIndex4].position - root[kIndex4].position);
    EXPECT_GT(moved.y, 0.010) << hand;  // about 10 degrees of a 9 cm finger
    // Without measured spreads (the engine's fixed ones) the fingers fan
    // out as the reference hand's.
    const HandSkeleton fixed = mapper.Map(steamvrtest::EnginePose(hand, frame, false));
    EXPECT_LT(rigid::AngleBetween(fixed.bones[kIndex1].rotation, mapper.reference().open[kIndex1].rotation), 7.0);
  }
}

}  // namespace
}  // namespace skeleton
}  // namespace ZEMBRA
