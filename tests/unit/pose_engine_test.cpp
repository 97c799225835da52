// The pose engine driven with bytes: decoding, the validity gate, the joint
// computation, the finger values and the finger alignment. Expected joints
// come from a double-precision model of the hand written in the test.
#include "driver/pose/pose_engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "driver/pose/quat_math.h"
#include "tests/support/pose_fixtures.h"

namespace ZEMBRA {
namespace {

using namespace testsupport;
using pose::PoseEngine;
using Outcome = PoseEngine::Outcome;

constexpr double kAngleTolDeg = 2e-3;

// The thumb's reference and correction rotations by hand.
constexpr DQuat kLeftThumbRef = {0.49673, 0.409576, 0.286788, 0.709406};
constexpr DQuat kLeftThumbFix = {0.015134413, -0.1729864, -0.08583163, 0.98105586};
constexpr DQuat kRightThumbRef = {-0.49673, -0.409576, 0.286788, 0.709406};
constexpr DQuat kRightThumbFix = {-0.015134413, 0.1729864, -0.08583163, 0.98105586};

::testing::AssertionResult SameRotation(const Quat& actual, const DQuat& expected, double tolDeg = kAngleTolDeg) {
  const double angle = AngleBetween(ToD(actual), expected);
  if (angle <= tolDeg) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "rotations differ by " << angle << " deg: actual (" << actual.x << ", "
                                       << actual.y << ", " << actual.z << ", " << actual.w << ") expected ("
                                       << expected.x << ", " << expected.y << ", " << expected.z << ", " << expected.w
                                       << ")";
}

Outcome Feed(PoseEngine& engine, const std::vector<uint8_t>& bytes, Pose& pose) {
  return engine.ProcessPacket(bytes.data(), bytes.size(), pose);
}

Pose FeedExpectingPose(PoseEngine& engine, const std::vector<uint8_t>& bytes) {
  Pose pose;
  std::memset(&pose, 0xCD, sizeof pose);
  EXPECT_EQ(Feed(engine, bytes, pose), Outcome::Pose);
  return pose;
}

const double kLeftSpread[4] = {-10, -5, 5, 10};

// Sideways spread of finger i in basic mode for the hand.
double BasicBase(HandType hand, int i) { return hand == Hand_Left ? kLeftSpread[i] : -kLeftSpread[i]; }

DQuat Wrist() { return AboutX(25) * AboutY(-35) * AboutZ(10); }

// ---- decoding ------------------------------------------------------------------

TEST(PoseEngineDecoding, A63ByteUUPacketUpdatesOnlySensorsZeroTwoAndThree) {
  PoseEngine engine;
  std::mt19937 rng(7);
  const Sensors first = RandomReadings(rng);
  const Sensors second = RandomReadings(rng);
  FeedExpectingPose(engine, BuildBurst(Burst::UUPU, first));

  const Pose pose = FeedExpectingPose(engine, BuildBurst(Burst::UU, second));
  for (int s = 0; s < 6; ++s) {
    const bool carried = s == 0 || s == 2 || s == 3;
    const Quat want = carried ? second[size_t(s)] : first[size_t(s)];
    EXPECT_TRUE(SameRotation(engine.RawSensor(s), ToD(want), 1e-4)) << "sensor " << s;
  }
  // The full pose still uses the last wrist: joint 5 is sensor 5 of the first burst.
  EXPECT_TRUE(SameRotation(pose.joints[Joint_Wrist], JointOfSensor(ToD(first[5])), 1e-4));
}

TEST(PoseEngineDecoding, A70BytePUPacketUpdatesOnlySensorsOneFourAndFive) {
  PoseEngine engine;
  std::mt19937 rng(8);
  const Sensors first = RandomReadings(rng);
  const Sensors second = RandomReadings(rng);
  FeedExpectingPose(engine, BuildBurst(Burst::PUUU, first));
  const Pose pose = FeedExpectingPose(engine, BuildBurst(Burst::PU, second));
  for (int s = 0; s < 6; ++s) {
    const bool carried = s == 1 || s == 4 || s == 5;
    EXPECT_TRUE(SameRotation(engine.RawSensor(s), ToD(carried ? second[size_t(s)] : first[size_t(s)]), 1e-4))
        << "sensor " << s;
  }
  EXPECT_TRUE(SameRotation(pose.joints[Joint_Wrist], JointOfSensor(ToD(second[5])), 1e-4));
}

TEST(PoseEngineDecoding, BothOrdersOfA133ByteReadCarryAllSixSensors) {
  for (Burst kind : {Burst::UUPU, Burst::PUUU}) {
    PoseEngine engine;
    std::mt19937 rng(kind == Burst::UUPU ? 1 : 2);
    const Sensors readings = RandomReadings(rng);
    FeedExpectingPose(engine, BuildBurst(kind, readings));
    for (int s = 0; s < 6; ++s) {
      const Quat raw = engine.RawSensor(s);
      EXPECT_NEAR(raw.x, readings[size_t(s)].x, 1e-6) << "sensor " << s;
      EXPECT_NEAR(raw.y, readings[size_t(s)].y, 1e-6) << "sensor " << s;
      EXPECT_NEAR(raw.z, readings[size_t(s)].z, 1e-6) << "sensor " << s;
      EXPECT_NEAR(raw.w, readings[size_t(s)].w, 1e-6) << "sensor " << s;
    }
  }
}

TEST(PoseEngineDecoding, RejectedReadsLeaveEverythingAsItWas) {
  PoseEngine engine;
  std::mt19937 rng(9);
  const Sensors readings = RandomReadings(rng);
  std::vector<std::vector<uint8_t>> rejected;
  std::vector<uint8_t> bytes = BuildBurst(Burst::UU, readings);
  bytes.resize(70);  // a "UU" tag on a 70-byte read
  rejected.push_back(bytes);
  bytes = BuildBurst(Burst::PU, readings);
  bytes.resize(63);
  rejected.push_back(bytes);
  bytes = BuildBurst(Burst::UUPU, readings);
  bytes[0] = 'X';
  rejected.push_back(bytes);
  bytes = BuildBurst(Burst::UUPU, readings);
  bytes.pop_back();
  rejected.push_back(bytes);
  for (const auto& candidate : rejected) {
    Pose pose{};
    EXPECT_EQ(Feed(engine, candidate, pose), Outcome::Rejected);
    for (int s = 0; s < 6; ++s) {
      const Quat raw = engine.RawSensor(s);
      EXPECT_TRUE(raw.x == 0 && raw.y == 0 && raw.z == 0 && raw.w == 1) << "sensor " << s;
    }
  }
  Pose pose{};
  EXPECT_EQ(engine.ProcessPacket(nullptr, 0, pose), Outcome::Rejected);
}

TEST(PoseEngineDecoding, ANonUnitRecordIsStoredNormalisedAndPassesTheGate) {
  PoseEngine engine;
  Sensors readings = IdentityReadings();
  readings[3] = Quat{0.5f, 1.0f, -1.0f, 2.0f};  // length 2.5
  readings[5] = Quat{0.0f, 0.0f, 0.0f, 7.0f};
  FeedExpectingPose(engine, BuildBurst(Burst::UUPU, readings));
  const Quat s3 = engine.RawSensor(3);
  EXPECT_NEAR(s3.x, 0.2f, 1e-6);
  EXPECT_NEAR(s3.y, 0.4f, 1e-6);
  EXPECT_NEAR(s3.z, -0.4f, 1e-6);
  EXPECT_NEAR(s3.w, 0.8f, 1e-6);
  EXPECT_NEAR(engine.RawSensor(5).w, 1.0f, 1e-7);
}

TEST(PoseEngineDecoding, AnOddByteChangeKeepsTheCheckByteAndIsAcceptedWithTheNewValue) {
  PoseEngine engine;
  Sensors readings = IdentityReadings();
  readings[2] = Quat{0.1f, 0.2f, 0.3f, 0.927362f};
  std::vector<uint8_t> bytes = BuildBurst(Burst::UU, readings);
  const long at = RecordOffset(Burst::UU, 2);
  bytes[size_t(at + 1)] ^= 0x40;  // a low-order byte of x
  bytes[size_t(at + 7)] ^= 0x80;  // the sign bit of y: y becomes -0.2
  const uint8_t* rec = bytes.data() + at;
  auto le = [](const uint8_t* p) {
    const uint32_t bits = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
  };
  const float x = le(rec), y = le(rec + 4), z = le(rec + 8), w = le(rec + 12);
  ASSERT_NE(x, readings[2].x);
  ASSERT_FLOAT_EQ(y, -0.2f);
  FeedExpectingPose(engine, bytes);
  const DQuat want = Unit({x, y, z, w});
  const Quat got = engine.RawSensor(2);
  EXPECT_NEAR(got.x, want.x, 1e-6);
  EXPECT_NEAR(got.y, want.y, 1e-6);
  EXPECT_NEAR(got.z, want.z, 1e-6);
  EXPECT_NEAR(got.w, want.w, 1e-6);
}

TEST(PoseEngineDecoding, ABadCheckByteBlocksPosesUntilThatSensorIsGoodAgain) {
  PoseEngine engine;
  std::mt19937 rng(10);
  std::vector<uint8_t> bytes = BuildBurst(Burst::UUPU, RandomReadings(rng));
  bytes[size_t(RecordOffset(Burst::UUPU, 2) + 16)] ^= 0x01;
  Pose pose{};
  EXPECT_EQ(Feed(engine, bytes, pose), Outcome::NoPose);
  const Quat zero = engine.RawSensor(2);
  EXPECT_TRUE(zero.x == 0 && zero.y == 0 && zero.z == 0 && zero.w == 0);

  // Parts that do not carry sensor 2 cannot clear it.
  EXPECT_EQ(Feed(engine, BuildBurst(Burst::PU, RandomReadings(rng)), pose), Outcome::NoPose);
  EXPECT_EQ(Feed(engine, BuildBurst(Burst::PU, RandomReadings(rng)), pose), Outcome::NoPose);
  // A changed even byte is caught the same way.
  bytes = BuildBurst(Burst::UU, RandomReadings(rng));
  bytes[size_t(RecordOffset(Burst::UU, 2) + 4)] ^= 0x10;
  EXPECT_EQ(Feed(engine, bytes, pose), Outcome::NoPose);
  // A good record for sensor 2 releases the gate.
  EXPECT_EQ(Feed(engine, BuildBurst(Burst::UU, RandomReadings(rng)), pose), Outcome::Pose);
}

TEST(PoseEngineDecoding, AZeroOrNonFiniteRecordWithAGoodCheckByteBlocksToo) {
  PoseEngine engine;
  Pose pose{};
  Sensors readings = IdentityReadings();
  readings[4] = Quat{0.0f, 0.0f, 0.0f, 0.0f};
  EXPECT_EQ(Feed(engine, BuildBurst(Burst::PU, readings), pose), Outcome::NoPose);
  readings[4] = Quat{INFINITY, 0.0f, 0.0f, 1.0f};
  EXPECT_EQ(Feed(engine, BuildBurst(Burst::PU, readings), pose), Outcome::NoPose);
  readings[4] = Quat{NAN, 0.0f, 0.0f, 1.0f};
  EXPECT_EQ(Feed(engine, BuildBurst(Burst::PU, readings), pose), Outcome::NoPose);
  readings[4] = Quat{0.0f, 0.0f, 0.0f, 1.0f};
  EXPECT_EQ(Feed(engine, BuildBurst(Burst::PU, readings), pose), Outcome::Pose);
}

// ---- status fields ------------------------------------------------------------------

TEST(PoseEngineStatus, IsZeroUntilTheGloveSendsIt) {
  PoseEngine engine;
  const Pose pose = FeedExpectingPose(engine, BuildBurst(Burst::UU, IdentityReadings()));
  for (int k = 0; k < 6; ++k) EXPECT_EQ(pose.statusTable[k], 0);
  EXPECT_EQ(pose.statusByte, 0);
  EXPECT_EQ(pose.statusValue, 0.0);
}

TEST(PoseEngineStatus, SelectorsFillTheirSlotsAndOthersGoToSlotThree) {
  PoseEngine engine;
  // selector -> slot: 3->0, 2->1, 4->2, 1->4, 0->5, anything else -> 3.
  const int selectors[] = {3, 2, 4, 1, 0, 7};
  const int slots[] = {0, 1, 2, 4, 5, 3};
  Pose pose{};
  for (int n = 0; n < 6; ++n) {
    StatusBlock status;
    status.selector = int8_t(selectors[n]);
    status.slotValue = int8_t(-(n + 1) * 10);
    pose = FeedExpectingPose(engine, BuildBurst(n % 2 ? Burst::PU : Burst::PUUU, IdentityReadings(), status));
    EXPECT_EQ(pose.statusTable[slots[n]], -(n + 1) * 10) << "selector " << selectors[n];
  }
  // Every slot kept its own value.
  for (int n = 0; n < 6; ++n) EXPECT_EQ(pose.statusTable[slots[n]], -(n + 1) * 10);

  StatusBlock odd;
  odd.selector = int8_t(-3);
  odd.slotValue = 99;
  pose = FeedExpectingPose(engine, BuildBurst(Burst::UUPU, IdentityReadings(), odd));
  EXPECT_EQ(pose.statusTable[3], 99);
  EXPECT_EQ(pose.statusTable[0], -10);
}

TEST(PoseEngineStatus, StatusByteIsSignExtendedAndValueWidenedUnchanged) {
  PoseEngine engine;
  StatusBlock status;
  status.statusByte = int8_t(0xF0);
  status.value = 1234.5678f;
  Pose pose = FeedExpectingPose(engine, BuildBurst(Burst::UUPU, IdentityReadings(), status));
  EXPECT_EQ(pose.statusByte, -16);
  EXPECT_EQ(pose.statusValue, double(1234.5678f));

  // A "UU" part carries no status: the last values stay.
  pose = FeedExpectingPose(engine, BuildBurst(Burst::UU, IdentityReadings()));
  EXPECT_EQ(pose.statusByte, -16);
  EXPECT_EQ(pose.statusValue, double(1234.5678f));
}

TEST(PoseEngineStatus, IsStoredEvenWhenTheGateStopsThePacket) {
  PoseEngine engine;
  std::vector<uint8_t> bad;
  StatusBlock first;
  first.selector = 0;
  first.slotValue = 42;
  first.statusByte = -5;
  bad = BuildBurst(Burst::PU, IdentityReadings(), first);
  bad[size_t(RecordOffset(Burst::PU, 5) + 16)] ^= 0xFF;
  Pose pose{};
  ASSERT_EQ(Feed(engine, bad, pose), Outcome::NoPose);

  StatusBlock second;
  second.selector = 1;
  second.slotValue = 7;
  second.statusByte = 9;
  pose = FeedExpectingPose(engine, BuildBurst(Burst::PU, IdentityReadings(), second));
  EXPECT_EQ(pose.statusTable[5], 42);  // from the packet that produced no pose
  EXPECT_EQ(pose.statusTable[4], 7);
  EXPECT_EQ(pose.statusByte, 9);
}

TEST(PoseEngineStatus, PoseCarriesTheEnginesHand) {
  for (HandType hand : {Hand_Left, Hand_Right, HandType(0)}) {
    PoseEngine engine;
    engine.SetHand(hand);
    EXPECT_EQ(FeedExpectingPose(engine, BuildBurst(Burst::UU, IdentityReadings())).type, hand);
  }
}

// ---- joints -------------------------------------------------------------------------

// With every sensor at the identity, each finger's estimate has ez = 0 and
// takes the basic-mode spread; the proximal joint then coincides with the
// intermediate one and the distal joints need no bend.
void ExpectIdentityHand(HandType hand) {
  PoseEngine engine;
  engine.SetHand(hand);
  const Pose pose = FeedExpectingPose(engine, BuildBurst(Burst::UUPU, IdentityReadings()));
  const DQuat X = JointOfSensor(kDIdentity);
  EXPECT_TRUE(SameRotation(pose.joints[Joint_Wrist], X));
  for (int i = 0; i < 4; ++i) {
    const DQuat spread = X * AboutY(BasicBase(hand, i));
    EXPECT_TRUE(SameRotation(pose.joints[i], spread)) << "finger " << i;
    EXPECT_TRUE(SameRotation(pose.joints[Joint_PinkyProximal + i], spread)) << "finger " << i;
    EXPECT_TRUE(SameRotation(pose.joints[Joint_PinkyDistal + i], spread)) << "finger " << i;
    EXPECT_NEAR(engine.FingerValue(i), 0.0, 1e-3) << "finger " << i;
  }

  DQuat V = kDIdentity, T = X;
  if (hand == Hand_Left) V = X * kLeftThumbRef, T = X * kLeftThumbFix;
  if (hand == Hand_Right) V = X * kRightThumbRef, T = X * kRightThumbFix;
  EXPECT_TRUE(SameRotation(pose.joints[Joint_ThumbDistal], T));
  // bend4 = RelZ(T, V): the reference seen from the thumb.
  const double thumbBend = EulerYXZ(Relative(T, V)).ez;
  EXPECT_NEAR(engine.FingerValue(4), thumbBend, 1e-3);
  const double tIntermediate = 0.0025 * thumbBend + 0.75;
  const double tProximal = 0.0025 * thumbBend + 0.55;
  EXPECT_TRUE(SameRotation(pose.joints[Joint_ThumbIntermediate], Slerp(V, T, tIntermediate)));
  EXPECT_TRUE(SameRotation(pose.joints[Joint_ThumbProximal], Slerp(V, T, tProximal)));
  if (hand == Hand_Left || hand == Hand_Right) {
    // Both lie on the arc from the reference to the corrected thumb, the
    // proximal one nearer the reference.
    const double whole = AngleBetween(V, T);
    ASSERT_GT(whole, 1.0);
    for (int j : {int(Joint_ThumbIntermediate), int(Joint_ThumbProximal)}) {
      const DQuat q = ToD(pose.joints[j]);
      EXPECT_NEAR(AngleBetween(V, q) + AngleBetween(q, T), whole, 1e-3) << "joint " << j;
    }
    EXPECT_LT(AngleBetween(V, ToD(pose.joints[Joint_ThumbProximal])),
              AngleBetween(V, ToD(pose.joints[Joint_ThumbIntermediate])));
  }
}

TEST(PoseEngineJoints, IdentitySensorsLeftHand) { ExpectIdentityHand(Hand_Left); }
TEST(PoseEngineJoints, IdentitySensorsRightHand) { ExpectIdentityHand(Hand_Right); }
TEST(PoseEngineJoints, IdentitySensorsOtherHandHasNoThumbReference) { ExpectIdentityHand(HandType(0)); }

// Finger 3 of a left hand, bent by ez about Z with no spread of its own.
Pose BasicFingerThree(HandType hand, double ez) {
  PoseEngine engine;
  engine.SetHand(hand);
  const DQuat fingers[4] = {kDIdentity, kDIdentity, kDIdentity, AboutZ(ez)};
  return FeedExpectingPose(engine, BuildBurst(Burst::PUUU, ReadingsFor(Wrist(), fingers, Wrist())));
}

TEST(PoseEngineJoints, BasicModeSpreadShrinksAsTheFingerBends) {
  // ez = 20 > 0: ey = (160 - 20) / 160 * 10 = 8.75.
  Pose pose = BasicFingerThree(Hand_Left, 20);
  EXPECT_TRUE(SameRotation(pose.joints[3], Wrist() * AboutZ(20) * AboutY(8.75)));
  EXPECT_GT(AngleBetween(ToD(pose.joints[3]), Wrist() * AboutZ(20) * AboutY(10)), 1.0);
  // ez = 40: (160 - 40) / 160 * 10 = 7.5.
  pose = BasicFingerThree(Hand_Left, 40);
  EXPECT_TRUE(SameRotation(pose.joints[3], Wrist() * AboutZ(40) * AboutY(7.5)));
  // Right hand: the base is -10.
  pose = BasicFingerThree(Hand_Right, 40);
  EXPECT_TRUE(SameRotation(pose.joints[3], Wrist() * AboutZ(40) * AboutY(-7.5)));
  // Between -100 and 0 the base stays whole.
  pose = BasicFingerThree(Hand_Left, -50);
  EXPECT_TRUE(SameRotation(pose.joints[3], Wrist() * AboutZ(-50) * AboutY(10)));
}

TEST(PoseEngineJoints, BasicModeIgnoresTheFingersOwnSpreadAndTwist) {
  PoseEngine engine;
  engine.SetHand(Hand_Left);
  const DQuat fingers[4] = {AboutY(30) * AboutX(20) * AboutZ(15), AboutY(-25), kDIdentity, kDIdentity};
  const Pose pose = FeedExpectingPose(engine, BuildBurst(Burst::UUPU, ReadingsFor(Wrist(), fingers, Wrist())));
  // Finger 0: ez 15 > 0 so ey = (160 - 15) / 160 * -10, ex dropped.
  EXPECT_TRUE(SameRotation(pose.joints[0], Wrist() * AboutZ(15) * AboutY(145.0 / 160.0 * -10.0)));
  // Finger 1: ez 0, base -5.
  EXPECT_TRUE(SameRotation(pose.joints[1], Wrist() * AboutY(-5)));
}

Pose AdvancedFinger(const DQuat& finger, int index = 2) {
  PoseEngine engine;
  engine.SetHand(Hand_Right);
  engine.SetAdvancedMode(true);
  DQuat fingers[4] = {kDIdentity, kDIdentity, kDIdentity, kDIdentity};
  fingers[index] = finger;
  return FeedExpectingPose(engine, BuildBurst(Burst::UUPU, ReadingsFor(Wrist(), fingers, Wrist())));
}

TEST(PoseEngineJoints, AdvancedModeKeepsTheSpreadOfAFingerBentUpToThirtyDegrees) {
  // Euler of Ry(12) * Rx(15) * Rz(20) is (15, 12, 20): ex is dropped, ey and
  // ez kept, and the estimate is rebuilt as Rz(ez) * Ry(ey).
  const Pose pose = AdvancedFinger(AboutY(12) * AboutX(15) * AboutZ(20));
  EXPECT_TRUE(SameRotation(pose.joints[2], Wrist() * AboutZ(20) * AboutY(12)));
}

TEST(PoseEngineJoints, AdvancedModeScalesTheSpreadBeyondThirtyDegrees) {
  // ez = 40 > 30: ey = (160 - 40) / 130 * 12.
  Pose pose = AdvancedFinger(AboutY(12) * AboutZ(40));
  EXPECT_TRUE(SameRotation(pose.joints[2], Wrist() * AboutZ(40) * AboutY(120.0 / 130.0 * 12.0)));
  // ez = 120: factor 40 / 130.
  pose = AdvancedFinger(AboutY(-9) * AboutZ(120), 1);
  EXPECT_TRUE(SameRotation(pose.joints[1], Wrist() * AboutZ(120) * AboutY(40.0 / 130.0 * -9.0)));
}

TEST(PoseEngineJoints, AFingerWhoseFirstEstimateIsImplausibleSitsAtTheWrist) {
  // ez = -120 (the advanced factor would be 280 / 130): the estimate's bend
  // back from the wrist is 120 > 100, so the held shape (identity) is used.
  const Pose pose = AdvancedFinger(AboutY(10) * AboutZ(-120), 0);
  EXPECT_TRUE(SameRotation(pose.joints[Joint_PinkyIntermediate], Wrist()));
  EXPECT_TRUE(SameRotation(pose.joints[Joint_PinkyProximal], Wrist()));
  EXPECT_TRUE(SameRotation(pose.joints[Joint_PinkyDistal], Wrist()));
  // The others are computed as usual.
  EXPECT_TRUE(SameRotation(pose.joints[1], Wrist()));
}

TEST(PoseEngineJoints, SwitchingModesTakesEffectOnTheNextPacket) {
  PoseEngine engine;
  engine.SetHand(Hand_Left);
  const DQuat fingers[4] = {kDIdentity, kDIdentity, kDIdentity, AboutY(12) * AboutZ(20)};
  const std::vector<uint8_t> bytes = BuildBurst(Burst::UUPU, ReadingsFor(Wrist(), fingers, Wrist()));
  Pose pose = FeedExpectingPose(engine, bytes);
  EXPECT_TRUE(SameRotation(pose.joints[3], Wrist() * AboutZ(20) * AboutY(8.75)));
  engine.SetAdvancedMode(true);
  pose = FeedExpectingPose(engine, bytes);
  EXPECT_TRUE(SameRotation(pose.joints[3], Wrist() * AboutZ(20) * AboutY(12)));
  engine.SetAdvancedMode(false);
  pose = FeedExpectingPose(engine, bytes);
  EXPECT_TRUE(SameRotation(pose.joints[3], Wrist() * AboutZ(20) * AboutY(8.75)));
}

TEST(PoseEngineJoints, ProximalJointSplitsTheBendAndTheDistalJointFollowsIt) {
  // Advanced mode, finger 2 at Rz(60) * Ry(0): the estimate is Rz(60) from the
  // wrist. The proximal joint is the 0.45 slerp towards it, turned about Y by
  // what remains of the spread (none here); the distal joint adds half the
  // bend again, since RelZ(joint, wrist) = -60 < 0.
  const Pose pose = AdvancedFinger(AboutZ(60));
  const DQuat X = Wrist();
  EXPECT_TRUE(SameRotation(pose.joints[2], X * AboutZ(60)));
  EXPECT_TRUE(SameRotation(pose.joints[Joint_MiddleProximal], X * AboutZ(27)));
  EXPECT_TRUE(SameRotation(pose.joints[Joint_MiddleDistal], X * AboutZ(90)));
}

TEST(PoseEngineJoints, AFingerBentBackwardsGetsNoExtraDistalBend) {
  const Pose pose = AdvancedFinger(AboutZ(-40));
  EXPECT_TRUE(SameRotation(pose.joints[2], Wrist() * AboutZ(-40)));
  EXPECT_TRUE(SameRotation(pose.joints[Joint_MiddleDistal], Wrist() * AboutZ(-40)));
}

TEST(PoseEngineJoints, ProximalJointWithSpreadAgreesWithTheModel) {
  // Spread and bend together, checked against the construction in double:
  // S = slerp(X, P, 0.45), proximal = S * Ry(RelY(S, P)).
  const Pose pose = AdvancedFinger(AboutY(14) * AboutZ(50));
  const DQuat X = Wrist();
  const DQuat P = X * AboutZ(50) * AboutY(110.0 / 130.0 * 14.0);
  const DQuat S = Slerp(X, P, 0.45);
  const DQuat proximal = S * AboutY(EulerYXZ(Relative(S, P)).ey);
  EXPECT_TRUE(SameRotation(pose.joints[2], P));
  EXPECT_TRUE(SameRotation(pose.joints[Joint_MiddleProximal], proximal));
}

TEST(PoseEngineJoints, FingerValuesAreTheBendsOfTheLastPose) {
  PoseEngine engine;
  engine.SetHand(Hand_Right);
  engine.SetAdvancedMode(true);
  const DQuat fingers[4] = {AboutZ(10), AboutZ(35), AboutZ(-20), AboutZ(70)};
  FeedExpectingPose(engine, BuildBurst(Burst::UUPU, ReadingsFor(Wrist(), fingers, Wrist())));
  // bend_i = RelZ(joint_i, X): the wrist seen from the finger, so the sign flips.
  EXPECT_NEAR(engine.FingerValue(0), -10.0, 1e-3);
  EXPECT_NEAR(engine.FingerValue(1), -35.0, 1e-3);
  EXPECT_NEAR(engine.FingerValue(2), 20.0, 1e-3);
  EXPECT_NEAR(engine.FingerValue(3), -70.0, 1e-3);
  const DQuat V = Wrist() * kRightThumbRef, T = Wrist() * kRightThumbFix;
  EXPECT_NEAR(engine.FingerValue(4), EulerYXZ(Relative(T, V)).ez, 1e-3);
}

TEST(PoseEngineJoints, TheHoldKeepsProximalAndIntermediateFixedToTheWrist) {
  PoseEngine engine;
  engine.SetHand(Hand_Left);
  engine.SetAdvancedMode(true);
  const DQuat plausible[4] = {AboutY(8) * AboutZ(45), AboutZ(20), AboutZ(20), AboutZ(20)};
  Pose pose = FeedExpectingPose(engine, BuildBurst(Burst::UUPU, ReadingsFor(Wrist(), plausible, Wrist())));
  const DQuat heldProximal = Relative(Wrist(), ToD(pose.joints[Joint_PinkyProximal]));
  const DQuat heldIntermediate = Relative(Wrist(), ToD(pose.joints[Joint_PinkyIntermediate]));

  // Now the pinky reads bent backwards past 100 degrees while the wrist turns.
  const DQuat wrist2 = AboutY(70) * AboutX(-20);
  const DQuat implausible[4] = {AboutZ(-130), AboutZ(20), AboutZ(20), AboutZ(20)};
  pose = FeedExpectingPose(engine, BuildBurst(Burst::UUPU, ReadingsFor(wrist2, implausible, wrist2)));
  EXPECT_TRUE(SameRotation(pose.joints[Joint_PinkyProximal], wrist2 * heldProximal));
  EXPECT_TRUE(SameRotation(pose.joints[Joint_PinkyIntermediate], wrist2 * heldIntermediate));
  // The distal joint follows the held intermediate joint.
  const double z = EulerYXZ(Relative(ToD(pose.joints[0]), wrist2)).ez;
  ASSERT_LT(z, 0.0);
  EXPECT_TRUE(SameRotation(pose.joints[Joint_PinkyDistal], wrist2 * heldIntermediate * AboutZ(-z / 2)));
  // The bend reported is that of the held shape.
  EXPECT_NEAR(engine.FingerValue(0), z, 1e-3);
  // The other fingers were plausible and follow the sensors.
  EXPECT_TRUE(SameRotation(pose.joints[1], wrist2 * AboutZ(20)));
}

// ---- alignment -----------------------------------------------------------------

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(PoseEngineAlignment, WithNoPoseYetTheCorrectionStaysTheIdentity) {
  PoseEngine engine;
  std::ostringstream out;
  engine.AlignFingers(out);
  const std::vector<std::string> lines = Lines(out.str());
  ASSERT_EQ(lines.size(), 8u);
  for (int i = 0; i < 4; ++i) {
    const std::string expected = "alignment[" + std::to_string(i) + "]: 0,0,0,1";
    EXPECT_EQ(lines[size_t(2 * i)], expected);
    EXPECT_EQ(lines[size_t(2 * i + 1)], expected);
    const Quat a = engine.Alignment(i);
    EXPECT_TRUE(a.x == 0 && a.y == 0 && a.z == 0 && a.w == 1);
  }
}

TEST(PoseEngineAlignment, PrintsEachFingerBeforeAndAfterInDefaultFormat) {
  PoseEngine engine;
  engine.SetHand(Hand_Left);
  FeedExpectingPose(engine, BuildBurst(Burst::UUPU, IdentityReadings()));
  std::ostringstream out;
  engine.AlignFingers(out);
  const std::vector<std::string> lines = Lines(out.str());
  ASSERT_EQ(lines.size(), 8u);
  for (int i = 0; i < 4; ++i) {
    // Before: the identity, printed as the stream prints floats by default.
    EXPECT_EQ(lines[size_t(2 * i)], "alignment[" + std::to_string(i) + "]: 0,0,0,1");
    // After: the stored rotation, each component in the stream's default
    // format (six significant digits), separated by commas.
    const Quat a = engine.Alignment(i);
    std::ostringstream want;
    want << "alignment[" << i << "]: " << a.x << "," << a.y << "," << a.z << "," << a.w;
    EXPECT_EQ(lines[size_t(2 * i + 1)], want.str());
    // Measured spreads -10, -5, 5, 10: each correction turns about Y by the
    // opposite angle, (0, -sin(a/2), 0, cos(a/2)).
    EXPECT_TRUE(SameRotation(a, AboutY(-kLeftSpread[i]))) << "finger " << i;
    EXPECT_NEAR(a.y, -std::sin(Rad(kLeftSpread[i]) / 2), 1e-6);
  }
  // Six significant digits, not more: sin(5 deg) = 0.0871557427...
  EXPECT_TRUE(lines[1] == "alignment[0]: 0,0.0871557,0,0.996195" || lines[1] == "alignment[0]: 0,0.0871558,0,0.996195")
      << lines[1];
}

TEST(PoseEngineAlignment, ASecondAlignmentBeforeANewPacketDoublesTheCorrection) {
  PoseEngine engine;
  engine.SetHand(Hand_Left);
  FeedExpectingPose(engine, BuildBurst(Burst::UUPU, IdentityReadings()));
  std::ostringstream out;
  engine.AlignFingers(out);
  engine.AlignFingers(out);
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(SameRotation(engine.Alignment(i), AboutY(-2 * kLeftSpread[i]))) << "finger " << i;
  }
  const std::vector<std::string> lines = Lines(out.str());
  ASSERT_EQ(lines.size(), 16u);
  // The second call starts from where the first ended.
  for (int i = 0; i < 4; ++i) EXPECT_EQ(lines[size_t(8 + 2 * i)], lines[size_t(2 * i + 1)]);
}

TEST(PoseEngineAlignment, BasicModeStillShowsTheFixedSpreadsAfterAlignment) {
  PoseEngine engine;
  engine.SetHand(Hand_Left);
  const std::vector<uint8_t> bytes = BuildBurst(Burst::UUPU, IdentityReadings());
  FeedExpectingPose(engine, bytes);
  std::ostringstream out;
  engine.AlignFingers(out);
  const Pose pose = FeedExpectingPose(engine, bytes);
  const DQuat X = JointOfSensor(kDIdentity);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(SameRotation(pose.joints[i], X * AboutY(kLeftSpread[i]))) << i;
}

TEST(PoseEngineAlignment, AdvancedModeTakesTheMeasuredSpreadOutOfLaterPoses) {
  PoseEngine engine;
  engine.SetHand(Hand_Right);
  engine.SetAdvancedMode(true);
  const DQuat fingers[4] = {AboutY(12), AboutY(-7), AboutY(3), AboutY(20)};
  const std::vector<uint8_t> bytes = BuildBurst(Burst::UUPU, ReadingsFor(Wrist(), fingers, Wrist()));
  Pose pose = FeedExpectingPose(engine, bytes);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(SameRotation(pose.joints[i], Wrist() * fingers[i])) << i;
  std::ostringstream out;
  engine.AlignFingers(out);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(SameRotation(engine.Alignment(i), Inverse(fingers[i]))) << i;
  // From the next packet on each finger reads straight.
  pose = FeedExpectingPose(engine, bytes);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(SameRotation(pose.joints[i], Wrist())) << i;
  // The thumb and the wrist are not aligned.
  EXPECT_TRUE(SameRotation(pose.joints[Joint_ThumbDistal], Wrist() * kRightThumbFix));
}

TEST(PoseEngineAlignment, MeasuresTheIntermediateJointOfEachFinger) {
  // Bent fingers, so that the proximal joints turn differently from the
  // intermediate ones; the correction follows the intermediate joint.
  PoseEngine engine;
  engine.SetHand(Hand_Left);
  engine.SetAdvancedMode(true);
  const DQuat fingers[4] = {AboutY(12) * AboutZ(70), AboutY(-9) * AboutZ(50), AboutY(6) * AboutZ(85),
                            AboutY(15) * AboutZ(-30)};
  const Pose pose = FeedExpectingPose(engine, BuildBurst(Burst::UUPU, ReadingsFor(Wrist(), fingers, Wrist())));
  std::ostringstream out;
  engine.AlignFingers(out);
  for (int i = 0; i < 4; ++i) {
    const double a = EulerYXZ(Relative(Wrist(), ToD(pose.joints[i]))).ey;
    const double other = EulerYXZ(Relative(Wrist(), ToD(pose.joints[Joint_PinkyProximal + i]))).ey;
    ASSERT_GT(std::fabs(a - other), 0.5) << "finger " << i;
    EXPECT_TRUE(SameRotation(engine.Alignment(i), AboutY(-a))) << "finger " << i;
  }
}

// ---- invariants over many packets ------------------------------------------------

struct Hold {
  bool known = false;
  DQuat proximal{}, intermediate{};  // relative to the wrist
};

// Independent judgement of whether finger i's estimate is plausible, from
// the raw readings; returns false when too close to a boundary to tell.
bool JudgePlausible(const DQuat& X, const DQuat& finger, bool& plausible) {
  const DEuler e = EulerYXZ(Relative(X, finger));
  if (std::fabs(e.ex) > 85.0) return false;  // near a pole the angles are unstable
  const double ez = e.ez;
  if (std::fabs(ez + 100.0) < 0.05 || std::fabs(ez - 160.0) < 0.05 || std::fabs(ez) > 179.9) return false;
  plausible = ez > -100.0 && ez < 160.0;
  return true;
}

TEST(PoseEngineInvariants, RandomValidPacketsKeepJointsUnitAndHoldShapesWhileImplausible) {
  std::mt19937 rng(20240611);
  int poses = 0, holdsChecked = 0, blocked = 0;
  for (HandType hand : {Hand_Left, Hand_Right, HandType(0)}) {
    PoseEngine engine;
    engine.SetHand(hand);
    Hold hold[4];
    bool bad[6] = {};
    for (int n = 0; n < 3000; ++n) {
      if (n % 250 == 0) engine.SetAdvancedMode(rng() % 2 == 0);
      const Burst kind = Burst(rng() % 4);
      std::vector<uint8_t> bytes = BuildBurst(kind, RandomReadings(rng));
      for (int s = 0; s < 6; ++s) {
        const long at = RecordOffset(kind, s);
        if (at < 0) continue;
        bad[s] = rng() % 40 == 0;
        if (bad[s]) bytes[size_t(at + 16)] ^= uint8_t(1 + rng() % 255);
      }
      const bool anyBad = bad[0] || bad[1] || bad[2] || bad[3] || bad[4] || bad[5];
      Pose pose{};
      const Outcome outcome = engine.ProcessPacket(bytes.data(), bytes.size(), pose);
      ASSERT_EQ(outcome, anyBad ? Outcome::NoPose : Outcome::Pose) << "packet " << n;
      if (anyBad) {
        ++blocked;
        continue;
      }
      ++poses;
      for (int j = 0; j < Joint_Count; ++j) {
        const Quat& q = pose.joints[j];
        const double len = std::sqrt(double(q.x) * q.x + double(q.y) * q.y + double(q.z) * q.z + double(q.w) * q.w);
        ASSERT_NEAR(len, 1.0, 1e-5) << "packet " << n << " joint " << j;
      }
      for (int f = 0; f < 5; ++f) ASSERT_TRUE(std::isfinite(engine.FingerValue(f)));

      const DQuat X = JointOfSensor(ToD(engine.RawSensor(5)));
      ASSERT_TRUE(SameRotation(pose.joints[Joint_Wrist], X));
      for (int i = 0; i < 4; ++i) {
        bool plausible = false;
        if (!JudgePlausible(X, JointOfSensor(ToD(engine.RawSensor(i))), plausible)) {
          hold[i].known = false;
          continue;
        }
        const DQuat proximal = Relative(X, ToD(pose.joints[Joint_PinkyProximal + i]));
        const DQuat intermediate = Relative(X, ToD(pose.joints[i]));
        if (plausible) {
          hold[i] = {true, proximal, intermediate};
        } else if (hold[i].known) {
          ++holdsChecked;
          ASSERT_LT(AngleBetween(proximal, hold[i].proximal), 5e-3) << "packet " << n << " finger " << i;
          ASSERT_LT(AngleBetween(intermediate, hold[i].intermediate), 5e-3) << "packet " << n << " finger " << i;
        }
      }
    }
  }
  // The walk must have exercised every branch it checks.
  EXPECT_GT(poses, 5000);
  EXPECT_GT(blocked, 500);
  EXPECT_GT(holdsChecked, 500);
}

}  // namespace
}  // namespace ZEMBRA
