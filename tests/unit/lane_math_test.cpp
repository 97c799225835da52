// The engine's own arc functions against the double-precision C library,
// their special values, and the independence of the four lanes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "driver/pose/quat4.h"

namespace ZEMBRA {
namespace {

using namespace pose::wide;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Distance of got from the exact value in units of the last place of the
// exact value rounded to float.
double Ulps(float got, double exact) {
  const float rounded = float(exact);
  const float mag = std::fabs(rounded);
  const double ulp = double(std::nextafter(mag, kInf)) - double(mag);
  return std::fabs(double(got) - exact) / ulp;
}

float One(F4 v) { return Lane0(v); }

TEST(LaneMath, SineAndCosineWithinTwoUlpsOverTheEngineRange) {
  // Half angles of up to 180 degrees and slerp angles stay well inside
  // [-3.2, 3.2] radians.
  std::mt19937 gen(7);
  std::uniform_real_distribution<float> angle(-3.2f, 3.2f);
  double worstSin = 0, worstCos = 0;
  for (int i = 0; i < 400000; ++i) {
    const float x = i < 200000 ? -3.2f + 6.4f * float(i) / 200000.0f : angle(gen);
    F4 s, c;
    SinCos(Splat(x), s, c);
    worstSin = std::fmax(worstSin, Ulps(One(s), std::sin(double(x))));
    worstCos = std::fmax(worstCos, Ulps(One(c), std::cos(double(x))));
  }
  EXPECT_LE(worstSin, 2.0);
  EXPECT_LE(worstCos, 2.0);
}

TEST(LaneMath, SineAndCosineSpecialValues) {
  F4 s, c;
  SinCos(Set(0.0f, -0.0f, kNaN, kInf), s, c);
  float sv[4], cv[4];
  Store(s, sv);
  Store(c, cv);
  EXPECT_EQ(sv[0], 0.0f);
  EXPECT_EQ(cv[0], 1.0f);
  EXPECT_EQ(cv[1], 1.0f);
  EXPECT_TRUE(std::isnan(sv[2]) && std::isnan(cv[2]));
  EXPECT_TRUE(std::isnan(sv[3]) && std::isnan(cv[3]));
  // Far outside the range the result is still a sine: finite and bounded.
  SinCos(Splat(1e6f), s, c);
  EXPECT_LE(std::fabs(One(s)), 1.0f);
  EXPECT_LE(std::fabs(One(c)), 1.0f);
}

TEST(LaneMath, ArcTangentWithinThreeUlpsInEveryQuadrant) {
  std::mt19937 gen(11);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  std::uniform_int_distribution<int> exponent(-30, 30);
  double worst = 0;
  for (int i = 0; i < 400000; ++i) {
    // Ratios from tiny to huge, both signs of both arguments.
    const float y = std::ldexp(unit(gen), i % 4 == 0 ? exponent(gen) : 0);
    const float x = unit(gen);
    const float got = One(Atan2(Splat(y), Splat(x)));
    worst = std::fmax(worst, Ulps(got, std::atan2(double(y), double(x))));
  }
  EXPECT_LE(worst, 3.0);
}

TEST(LaneMath, ArcTangentSpecialValuesFollowTheCLibrary) {
  const float cases[][2] = {{0.0f, 0.0f},   {-0.0f, 0.0f}, {0.0f, -0.0f}, {-0.0f, -0.0f}, {1.0f, 0.0f}, {-1.0f, -0.0f},
                            {kInf, kInf},   {-kInf, kInf}, {kInf, -kInf}, {-kInf, -kInf}, {1.0f, kInf}, {1.0f, -kInf},
                            {-1.0f, -kInf}, {kInf, 1.0f},  {3.0f, 3.0f},  {-2.0f, -2.0f}};
  for (const auto& c : cases) {
    const float got = One(Atan2(Splat(c[0]), Splat(c[1])));
    const float want = std::atan2(c[0], c[1]);
    EXPECT_NEAR(got, want, 2.5e-7f) << "atan2(" << c[0] << ", " << c[1] << ")";
    EXPECT_EQ(std::signbit(got), std::signbit(want)) << "atan2(" << c[0] << ", " << c[1] << ")";
  }
  EXPECT_TRUE(std::isnan(One(Atan2(Splat(kNaN), Splat(1.0f)))));
  EXPECT_TRUE(std::isnan(One(Atan2(Splat(1.0f), Splat(kNaN)))));
}

TEST(LaneMath, ArcCosineAndArcSineWithinThreeUlps) {
  double worstAcos = 0, worstAsin = 0;
  for (int i = 0; i <= 400000; ++i) {
    const float x = -1.0f + 2.0f * float(i) / 400000.0f;
    worstAcos = std::fmax(worstAcos, Ulps(One(Acos(Splat(x))), std::acos(double(x))));
    if (x != 0.0f) worstAsin = std::fmax(worstAsin, Ulps(One(Asin(Splat(x))), std::asin(double(x))));
  }
  EXPECT_LE(worstAcos, 3.0);
  EXPECT_LE(worstAsin, 3.0);
  EXPECT_EQ(One(Acos(Splat(1.0f))), 0.0f);
  EXPECT_EQ(One(Acos(Splat(-1.0f))), float(M_PI));
  EXPECT_EQ(One(Asin(Splat(-1.0f))), -float(M_PI / 2));
  EXPECT_TRUE(std::isnan(One(Acos(Splat(1.0001f)))));
  EXPECT_TRUE(std::isnan(One(Asin(Splat(-1.0001f)))));
  EXPECT_TRUE(std::isnan(One(Acos(Splat(kNaN)))));
}

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(LaneMath, EachLaneComputesAloneWhateverItsNeighbours) {
  // Four different quaternions side by side, including one at a pole and
  // one zero, against each computed in all four lanes on its own.
  const Quat q[4] = {{0.1f, 0.7f, -0.2f, 0.67f}, {0.5f, 0.5f, -0.5f, 0.5f}, {0, 0, 0, 0}, {-0.3f, 0.1f, 0.9f, 0.3f}};
  const Quat target = {0.2f, -0.1f, 0.3f, 0.92f};
  const Quat4 all = Load(q);
  float ey[4], ez[4];
  Store(EulerY(all), ey);
  Store(EulerZ(all), ez);
  Quat slerped[4];
  Store(Slerp(all, Splat(target), Set(0.25f, 0.5f, 0.75f, 1.5f)), slerped);
  const float t[4] = {0.25f, 0.5f, 0.75f, 1.5f};
  for (int i = 0; i < 4; ++i) {
    const Quat4 alone = Splat(q[i]);
    EXPECT_TRUE(SameBits(ey[i], Lane0(EulerY(alone)))) << "lane " << i;
    EXPECT_TRUE(SameBits(ez[i], Lane0(EulerZ(alone)))) << "lane " << i;
    const Quat s = Lane0(Slerp(alone, Splat(target), Splat(t[i])));
    EXPECT_TRUE(SameBits(slerped[i].x, s.x) && SameBits(slerped[i].y, s.y) && SameBits(slerped[i].z, s.z) &&
                SameBits(slerped[i].w, s.w))
        << "lane " << i;
  }
}

}  // namespace
}  // namespace ZEMBRA
