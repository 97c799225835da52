// Which way a finger bends: the simulated glove's hands read by the
// driver's pose engine and by the plug-in's. A curl is a positive turn about
// Z against the wrist (the thumb: against its rest frame); both engines
// curl a distal joint further only then, the driver reports the bend as a
// negative number, and the spreads fade as the fingers close. The hand the
// other tests pose the skeleton with is what the driver's engine gives.
#include <gtest/gtest.h>

#include "driver/pose/pose_engine.h"
#include "plugin/pose_variant.h"
#include "sim/glove_model.h"
#include "sim/packet_builder.h"
#include "sim/sensor_encoding.h"
#include "tests/support/engine_hands.h"
#include "tests/support/quat_oracle.h"

namespace ZEMBRA {
namespace {

using plugin_pose::PoseVariant;
using sim::HandFrame;
using sim::HandMotion;
using testsupport::AboutY;
using testsupport::AboutZ;
using testsupport::AngleBetween;
using testsupport::DQuat;
using testsupport::EulerYXZ;
using testsupport::Relative;
using testsupport::ToD;

constexpr double kLeftBase[4] = {-10, -5, 5, 10};  // basic-mode spreads, pinky to index

sim::Burst BurstOf(const HandFrame& frame, HandType hand) {
  return sim::BuildBurst(sim::EncodeSensors(frame, hand), sim::StatusForBurst(1));
}

Pose DriverPose(const HandFrame& frame, HandType hand, bool advanced, pose::PoseEngine& engine) {
  engine.SetHand(hand);
  engine.SetAdvancedMode(advanced);
  const sim::Burst burst = BurstOf(frame, hand);
  Pose pose{};
  EXPECT_EQ(engine.ProcessPacket(burst.data(), burst.size(), pose), pose::PoseEngine::Outcome::Pose);
  return pose;
}

// The spread the engine gave a finger turned by `turn` about Z.
double SpreadOf(const DQuat& wrist, const DQuat& finger, double turn) {
  return EulerYXZ(Relative(wrist * AboutZ(turn), finger)).ey;
}

TEST(FingerFlexion, TheDriverCurlsASimulatedFistTowardsThePalm) {
  for (HandType hand : {Hand_Left, Hand_Right}) {
    for (bool advanced : {false, true}) {
      SCOPED_TRACE(testing::Message() << (hand == Hand_Left ? "left" : "right") << (advanced ? " advanced" : " basic"));
      const HandFrame fist = sim::GloveModel(hand, HandMotion::Fist).At(0);
      const HandFrame open = sim::GloveModel(hand, HandMotion::Open).At(0);
      pose::PoseEngine fistEngine, openEngine;
      const Pose closed = DriverPose(fist, hand, advanced, fistEngine);
      const Pose opened = DriverPose(open, hand, advanced, openEngine);
      const DQuat X = ToD(closed.joints[Joint_Wrist]);
      for (int i = 0; i < 4; ++i) {
        const double bend = fist.bend[size_t(i)];
        ASSERT_GT(bend, 80);
        EXPECT_NEAR(fistEngine.FingerValue(i), -bend, 0.05) << i;
        EXPECT_NEAR(openEngine.FingerValue(i), -open.bend[size_t(i)], 0.05) << i;
        // Proximal, intermediate and distal turn further and further.
        const DQuat proximal = ToD(closed.joints[Joint_PinkyProximal + i]);
        const DQuat intermediate = ToD(closed.joints[Joint_PinkyIntermediate + i]);
        const DQuat distal = ToD(closed.joints[Joint_PinkyDistal + i]);
        EXPECT_NEAR(EulerYXZ(Relative(X, proximal)).ez, 0.45 * bend, 2) << i;
        EXPECT_NEAR(EulerYXZ(Relative(X, intermediate)).ez, bend, 1) << i;
        // The distal joint half as far again: 1.5 times the intermediate's turn.
        EXPECT_LT(AngleBetween(distal, intermediate * AboutZ(bend / 2)), 0.01) << i;
        // Closing, the fingers come together.
        const double fistSpread = SpreadOf(X, intermediate, bend);
        const double openSpread = SpreadOf(ToD(opened.joints[Joint_Wrist]),
                                           ToD(opened.joints[Joint_PinkyIntermediate + i]), open.bend[size_t(i)]);
        const double base = hand == Hand_Left ? kLeftBase[i] : -kLeftBase[i];
        const double measured = fist.spread[size_t(i)];
        EXPECT_NEAR(fistSpread, advanced ? (160 - bend) / 130 * measured : (160 - bend) / 160 * base, 0.05) << i;
        EXPECT_NEAR(openSpread, advanced ? measured : (160 - open.bend[size_t(i)]) / 160 * base, 0.05) << i;
        if (std::fabs(measured) > 1 || !advanced) {
          EXPECT_LT(std::fabs(fistSpread), 0.6 * std::fabs(openSpread)) << i;
        }
      }
      // The thumb: its bend negated too, and in a curl its last joint turns
      // furthest (the inner joints at 0.4125 and 0.6125 of the way at 55).
      const double thumbBend = fist.bend[sim::kThumb];
      EXPECT_NEAR(fistEngine.FingerValue(sim::kThumb), -thumbBend, 0.05);
      const DQuat tProximal = ToD(closed.joints[Joint_ThumbProximal]);
      const DQuat tIntermediate = ToD(closed.joints[Joint_ThumbIntermediate]);
      const DQuat tDistal = ToD(closed.joints[Joint_ThumbDistal]);
      const protocol::QuatConstant& r =
          hand == Hand_Left ? protocol::kLeftThumbReference : protocol::kRightThumbReference;
      const DQuat V = X * DQuat{r.x, r.y, r.z, r.w};
      const double whole = AngleBetween(V, tDistal);
      EXPECT_NEAR(AngleBetween(V, tProximal), (0.55 - 0.0025 * thumbBend) * whole, 0.02);
      EXPECT_NEAR(AngleBetween(V, tIntermediate), (0.75 - 0.0025 * thumbBend) * whole, 0.02);
      EXPECT_GT(AngleBetween(tIntermediate, tDistal), 1.5 * AngleBetween(tProximal, tIntermediate));
    }
  }
}

TEST(FingerFlexion, AFingerBentBackwardsKeepsItsLastJointStraightInBothEngines) {
  for (HandType hand : {Hand_Left, Hand_Right}) {
    HandFrame frame = sim::GloveModel(hand, HandMotion::Open).At(0);
    for (double& bend : frame.bend) bend = -30;
    pose::PoseEngine engine;
    const Pose pose = DriverPose(frame, hand, true, engine);
    for (int i = 0; i < 4; ++i) {
      EXPECT_NEAR(engine.FingerValue(i), 30, 0.05) << i;
      EXPECT_LT(AngleBetween(ToD(pose.joints[Joint_PinkyDistal + i]), ToD(pose.joints[Joint_PinkyIntermediate + i])),
                1e-3)
          << i;
    }

    PoseVariant plugin(true, 1);
    plugin.SetHand(hand == Hand_Left ? plugin_pose::kPluginHandLeft : plugin_pose::kPluginHandRight);
    const sim::Burst burst = BurstOf(frame, hand);
    float out[16][4] = {};
    ASSERT_EQ(plugin.ProcessPacket(burst.data(), burst.size(), out), PoseVariant::Outcome::Pose);
    for (int n : {5, 8, 11, 14}) {
      EXPECT_EQ(plugin.FingerStateAt(n), PoseVariant::Finger_Open) << n;
      EXPECT_LT(AngleBetween({out[n][0], out[n][1], out[n][2], out[n][3]},
                             {out[n + 1][0], out[n + 1][1], out[n + 1][2], out[n + 1][3]}),
                1e-3)
          << n;
    }
  }
}

TEST(FingerFlexion, ThePlugInHoldsASimulatedFistInItsCurledState) {
  for (HandType hand : {Hand_Left, Hand_Right}) {
    for (bool advanced : {false, true}) {
      SCOPED_TRACE(testing::Message() << (hand == Hand_Left ? "left" : "right") << (advanced ? " advanced" : " basic"));
      const HandFrame fist = sim::GloveModel(hand, HandMotion::Fist).At(0);
      PoseVariant plugin(advanced, 1);
      plugin.SetHand(hand == Hand_Left ? plugin_pose::kPluginHandLeft : plugin_pose::kPluginHandRight);
      const sim::Burst burst = BurstOf(fist, hand);
      float out[16][4] = {};
      ASSERT_EQ(plugin.ProcessPacket(burst.data(), burst.size(), out), PoseVariant::Outcome::Pose);
      auto joint = [&](int n) { return DQuat{out[n][0], out[n][1], out[n][2], out[n][3]}; };
      const DQuat W = joint(plugin_pose::PluginJoint_Wrist);
      for (int n : {5, 8, 11, 14}) {
        EXPECT_EQ(plugin.FingerStateAt(n), PoseVariant::Finger_Closed) << n;
        // The intermediate joint at 0.45 of the finger's turn, the distal
        // one half as far again (the bend the plug-in reads is -turn).
        EXPECT_NEAR(EulerYXZ(Relative(W, joint(n))).ez, 0.45 * 85, 2) << n;
        const double turn = -EulerYXZ(Relative(joint(n), W)).ez;
        EXPECT_LT(AngleBetween(joint(n + 1), joint(n) * AboutZ(turn / 2)), 1e-3) << n;
      }
    }
  }
}

// The driver's engine in advanced mode, fed the model's hand with the wrist
// at the identity and no spread, gives testsupport::EngineHand.
TEST(FingerFlexion, TheSupportHandIsTheDriversHand) {
  for (HandType hand : {Hand_Left, Hand_Right}) {
    for (const auto& [bend, thumbBend] : {std::pair{0.0, 0.0}, {40.0, 30.0}, {85.0, 55.0}, {-20.0, -10.0}}) {
      HandFrame frame;
      frame.bend = {bend, bend, bend, bend, thumbBend};
      pose::PoseEngine engine;
      const Pose got = DriverPose(frame, hand, true, engine);
      const Pose want = testsupport::EngineHand(hand, bend, thumbBend);
      for (int j = 0; j < Joint_Count; ++j) {
        EXPECT_LT(AngleBetween(ToD(got.joints[j]), ToD(want.joints[j])), 0.01)
            << (hand == Hand_Left ? "left" : "right") << " bend " << bend << " joint " << j;
      }
      EXPECT_NEAR(engine.FingerValue(0), -bend, 0.01);
      EXPECT_NEAR(engine.FingerValue(4), -thumbBend, 0.01);
    }
  }
}

}  // namespace
}  // namespace ZEMBRA
