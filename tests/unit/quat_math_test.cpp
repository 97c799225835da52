// The pose engine's single-precision building blocks against rotations built
// independently in double precision.
#include "driver/pose/quat_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "tests/support/pose_fixtures.h"

namespace ZEMBRA {
namespace {

using namespace testsupport;
namespace qm = pose;

void ExpectQuatNear(const Quat& actual, const DQuat& expected, double tol = 2e-6) {
  EXPECT_NEAR(actual.x, expected.x, tol);
  EXPECT_NEAR(actual.y, expected.y, tol);
  EXPECT_NEAR(actual.z, expected.z, tol);
  EXPECT_NEAR(actual.w, expected.w, tol);
}

TEST(QuatMath, MulIsTheHamiltonProduct) {
  // i * j = k, j * i = -k, k * k = -1.
  const Quat i{1, 0, 0, 0}, j{0, 1, 0, 0}, k{0, 0, 1, 0};
  ExpectQuatNear(qm::Mul(i, j), {0, 0, 1, 0}, 0);
  ExpectQuatNear(qm::Mul(j, i), {0, 0, -1, 0}, 0);
  ExpectQuatNear(qm::Mul(k, k), {0, 0, 0, -1}, 0);
  std::mt19937 rng(3);
  for (int n = 0; n < 200; ++n) {
    const Quat a = RandomUnit(rng), b = RandomUnit(rng);
    ExpectQuatNear(qm::Mul(a, b), ToD(a) * ToD(b));
  }
}

TEST(QuatMath, NormaliseConjAndRel) {
  ExpectQuatNear(qm::Normalise({0, 0, 0, 2}), {0, 0, 0, 1}, 0);
  ExpectQuatNear(qm::Normalise({3, 0, 4, 0}), {0.6, 0, 0.8, 0}, 1e-7);
  ExpectQuatNear(qm::Conj({1, 2, 3, 4}), {-1, -2, -3, 4}, 0);
  EXPECT_FLOAT_EQ(qm::Dot({1, 2, 3, 4}, {5, 6, 7, 8}), 70.0f);
  std::mt19937 rng(4);
  for (int n = 0; n < 100; ++n) {
    const Quat a = RandomUnit(rng), b = RandomUnit(rng);
    // The first argument is normalised, so its length does not matter.
    const Quat big{a.x * 3, a.y * 3, a.z * 3, a.w * 3};
    ExpectQuatNear(qm::Rel(big, b), Inverse(ToD(a)) * ToD(b));
  }
}

TEST(QuatMath, EulerAwayFromThePolesMatchesTheRotationMatrix) {
  std::mt19937 rng(5);
  int checked = 0;
  for (int n = 0; n < 500; ++n) {
    const Quat q = RandomUnit(rng);
    const DEuler want = EulerYXZ(ToD(q));
    if (std::fabs(want.ex) > 80.0) continue;
    const qm::Euler got = qm::ToEuler(q);
    EXPECT_NEAR(got.ex, want.ex, 2e-3);
    EXPECT_NEAR(got.ey, want.ey, 2e-3);
    EXPECT_NEAR(got.ez, want.ez, 2e-3);
    ++checked;
  }
  EXPECT_GT(checked, 300);
  // Ry(ey) * Rx(ex) * Rz(ez) comes apart into its three angles.
  const qm::Euler e = qm::ToEuler(ToF(AboutY(-40) * AboutX(25) * AboutZ(130)));
  EXPECT_NEAR(e.ex, 25, 1e-3);
  EXPECT_NEAR(e.ey, -40, 1e-3);
  EXPECT_NEAR(e.ez, 130, 1e-3);
}

TEST(QuatMath, EulerAtThePolesUsesTheTwoShortcuts) {
  // Ry(30) * Rx(90): t = x w - z y = 0.5 > 0.4995 n.
  DQuat q = AboutY(30) * AboutX(90);
  qm::Euler e = qm::ToEuler(ToF(q));
  EXPECT_FLOAT_EQ(e.ex, 1.5707964f * 57.29578f);
  EXPECT_NEAR(e.ey, 2 * Deg(std::atan2(q.y, q.x)), 1e-3);
  EXPECT_NEAR(e.ey, 30, 1e-3);
  EXPECT_EQ(e.ez, 0.0f);
  // Ry(30) * Rx(-90): the other pole, ey = -2 atan2(y, x) = -330.
  q = AboutY(30) * AboutX(-90);
  e = qm::ToEuler(ToF(q));
  EXPECT_FLOAT_EQ(e.ex, -1.5707964f * 57.29578f);
  EXPECT_NEAR(e.ey, -2 * Deg(std::atan2(q.y, q.x)), 1e-3);
  EXPECT_NEAR(e.ey, -330, 1e-3);
  EXPECT_EQ(e.ez, 0.0f);
  // The test is against 0.4995 times the squared length: a scaled
  // quaternion reaches the pole at the same place.
  const DQuat s = AboutY(10) * AboutX(90);
  e = qm::ToEuler({float(2 * s.x), float(2 * s.y), float(2 * s.z), float(2 * s.w)});
  EXPECT_EQ(e.ez, 0.0f);
  EXPECT_NEAR(e.ey, 10, 1e-3);
  // Just inside the threshold the general formula applies: ex = asin(2t).
  const double half = std::asin(0.4994 * 2) / 2;  // x w = t for Rx alone
  const Quat near{float(std::sin(half)), 0, 0, float(std::cos(half))};
  e = qm::ToEuler(near);
  EXPECT_NEAR(e.ex, Deg(std::asin(0.9988)), 1e-2);
  const double beyond = std::asin(0.4996 * 2) / 2;
  e = qm::ToEuler({float(std::sin(beyond)), 0, 0, float(std::cos(beyond))});
  EXPECT_FLOAT_EQ(e.ex, 1.5707964f * 57.29578f);
}

TEST(QuatMath, FromEulerIsRzRyRxAndNotTheInverseOfEuler) {
  std::mt19937 rng(6);
  std::uniform_real_distribution<double> angle(-180, 180);
  for (int n = 0; n < 200; ++n) {
    const double ex = angle(rng), ey = angle(rng), ez = angle(rng);
    ExpectQuatNear(qm::FromEuler(float(ex), float(ey), float(ez)), AboutZ(ez) * AboutY(ey) * AboutX(ex), 5e-6);
  }
  // The product order differs from the decomposition of ToEuler.
  const qm::Euler back = qm::ToEuler(qm::FromEuler(20, 30, 40));
  EXPECT_GT(std::fabs(back.ex - 20) + std::fabs(back.ey - 30) + std::fabs(back.ez - 40), 1.0);
}

TEST(QuatMath, RotationsAboutOneAxisAndRelativeAngles) {
  ExpectQuatNear(qm::RotY(60), AboutY(60));
  ExpectQuatNear(qm::RotZ(-45), AboutZ(-45));
  ExpectQuatNear(qm::RotZHalfAngle(float(Rad(15))), AboutZ(30));
  const Quat a = ToF(AboutX(20) * AboutY(5));
  const Quat b = ToF(AboutX(20) * AboutY(5) * AboutY(-35) * AboutZ(70));
  EXPECT_NEAR(qm::RelY(a, b), -35, 1e-3);
  EXPECT_NEAR(qm::RelZ(a, b), 70, 1e-3);
}

TEST(QuatMath, SlerpFollowsTheShortArcAndExtrapolates) {
  const DQuat I = kDIdentity;
  ExpectQuatNear(qm::Slerp(ToF(I), ToF(AboutZ(60)), 0.5f), AboutZ(30));
  ExpectQuatNear(qm::Slerp(ToF(AboutX(10)), ToF(AboutX(90)), 0.25f), AboutX(30));
  // t is not clamped.
  ExpectQuatNear(qm::Slerp(ToF(I), ToF(AboutZ(60)), 2.0f), AboutZ(120));
  ExpectQuatNear(qm::Slerp(ToF(I), ToF(AboutZ(60)), -0.5f), AboutZ(-30));
  // A negative dot product flips b first, so the shorter way is taken.
  const DQuat far = AboutZ(60);
  ExpectQuatNear(qm::Slerp(ToF(I), ToF({-far.x, -far.y, -far.z, -far.w}), 0.5f), AboutZ(30));
  // Close rotations (dot >= 0.99) blend linearly and renormalise.
  const Quat lin = qm::Slerp(ToF(I), ToF(AboutZ(10)), 0.3f);
  const DQuat b = AboutZ(10);
  ExpectQuatNear(lin, Unit({0.3 * b.x, 0.3 * b.y, 0.3 * b.z, 0.7 + 0.3 * b.w}));
  // A blended result has unit length even from scaled inputs.
  const Quat r = qm::Slerp({0, 0, 0, 0.5f}, ToF(AboutY(80)), 0.5f);
  EXPECT_NEAR(qm::Dot(r, r), 1.0f, 1e-6);
}

TEST(QuatMath, SlerpSpecialCases) {
  const Quat zero{0, 0, 0, 0};
  const Quat b = ToF(AboutY(50));
  const Quat a = ToF(AboutX(-20));
  ExpectQuatNear(qm::Slerp(zero, b, 0.3f), ToD(b), 0);
  ExpectQuatNear(qm::Slerp(zero, zero, 0.3f), kDIdentity, 0);
  ExpectQuatNear(qm::Slerp(a, zero, 0.3f), ToD(a), 0);
  // Equal or opposite rotations: a itself.
  ExpectQuatNear(qm::Slerp(a, a, 0.7f), ToD(a), 1e-6);
  ExpectQuatNear(qm::Slerp(a, {-a.x, -a.y, -a.z, -a.w}, 0.7f), ToD(a), 1e-6);
  ExpectQuatNear(qm::Slerp({0, 0, 0, 1}, {0, 0, 0, 3}, 0.7f), kDIdentity, 0);
  // A blend that is not a number falls back to the identity.
  ExpectQuatNear(qm::Slerp(a, b, NAN), kDIdentity, 0);
}

}  // namespace
}  // namespace ZEMBRA
