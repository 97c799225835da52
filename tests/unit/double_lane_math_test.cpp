// The pose variant's own arc functions against long double, their special
// values against the C library, and the independence of the four lanes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "plugin/quat_double.h"
#include "plugin/quatd4.h"

namespace ZEMBRA {
namespace plugin_pose {
namespace {

using namespace wide;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Distance of got from the exact value in units of the last place of the
// exact value rounded to double, beyond an absolute allowance.
double Ulps(double got, long double exact, long double allowance = 0.0L) {
  const double mag = std::fabs(double(exact));
  const double ulp = std::nextafter(mag, kInf) - mag;
  const long double off = std::fabs((long double)got - exact) - allowance;
  return off <= 0 ? 0.0 : double(off / ulp);
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool SameQuat(const Quatd& a, const Quatd& b) {
  return SameBits(a.x, b.x) && SameBits(a.y, b.y) && SameBits(a.z, b.z) && SameBits(a.w, b.w);
}

TEST(DoubleLaneMath, SineAndCosineWithinOneUlp) {
  std::mt19937_64 gen(3);
  std::uniform_real_distribution<double> angle(-10.0, 10.0);
  double worstSin = 0, worstCos = 0;
  for (int i = 0; i < 400000; ++i) {
    const double x = i < 200000 ? -4.0 + 8.0 * i / 200000.0 : angle(gen);
    D4 s, c;
    SinCos(Set(x, -x, 0.5 * x, 2.0 * x), s, c);
    double sv[4], cv[4];
    Store(s, sv);
    Store(c, cv);
    // Beside a zero of the function the result is tiny; there the error
    // counts in absolute terms.
    const long double args[4] = {x, -x, 0.5L * x, 2.0L * x};
    for (int k = 0; k < 4; ++k) {
      worstSin = std::fmax(worstSin, Ulps(sv[k], sinl(args[k]), 1e-19L));
      worstCos = std::fmax(worstCos, Ulps(cv[k], cosl(args[k]), 1e-19L));
    }
  }
  EXPECT_LE(worstSin, 1.0);
  EXPECT_LE(worstCos, 1.0);
}

TEST(DoubleLaneMath, ArcTangentWithinTwoUlpsInEveryQuadrant) {
  std::mt19937_64 gen(5);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_int_distribution<int> exponent(-60, 60);
  double worst = 0;
  for (int i = 0; i < 400000; ++i) {
    const double y = std::ldexp(unit(gen), i % 3 == 0 ? exponent(gen) : 0), x = unit(gen);
    double got[4];
    Store(Atan2(Set(y, x, -y, x), Set(x, y, x, -y)), got);
    worst = std::fmax(worst, Ulps(got[0], atan2l(y, x)));
    worst = std::fmax(worst, Ulps(got[1], atan2l(x, y)));
    worst = std::fmax(worst, Ulps(got[2], atan2l(-y, x)));
    worst = std::fmax(worst, Ulps(got[3], atan2l(x, -y)));
  }
  EXPECT_LE(worst, 2.0);
}

TEST(DoubleLaneMath, ArcTangentSpecialValuesAreTheCLibrarys) {
  const double cases[][2] = {{0, 0},         {-0.0, 0},       {0, -0.0},      {-0.0, -0.0},      {1, 0},
                             {1, -0.0},      {-1, 0},         {kInf, kInf},   {-kInf, kInf},     {kInf, -kInf},
                             {-kInf, -kInf}, {1, kInf},       {1, -kInf},     {-1, -kInf},       {kInf, 1},
                             {-kInf, -5},    {1e300, 1e-300}, {1e308, 1e308}, {-1e308, 1.5e308}, {1, 1},
                             {-2, -2},       {3e-320, 1},     {1, 3e-320}};
  for (const auto& c : cases) {
    // Every lane goes its own way: a special value between ordinary ones,
    // and on its own.
    const double want = std::atan2(c[0], c[1]);
    double got[4];
    Store(Atan2(Set(0.5, c[0], -2.0, 1.0), Set(-0.25, c[1], -3.0, 1e-3)), got);
    EXPECT_TRUE(SameBits(got[1], want)) << "atan2(" << c[0] << ", " << c[1] << ") = " << got[1];
    EXPECT_TRUE(SameBits(got[0], std::atan2(0.5, -0.25)));
    EXPECT_TRUE(SameBits(got[2], Atan2(-2.0, -3.0)));
    EXPECT_TRUE(SameBits(got[3], Atan2(1.0, 1e-3)));
    EXPECT_TRUE(SameBits(Atan2(c[0], c[1]), want));
  }
  EXPECT_TRUE(std::isnan(Atan2(kNaN, 1.0)));
  EXPECT_TRUE(std::isnan(Atan2(1.0, kNaN)));
}

TEST(DoubleLaneMath, ArcCosineWithinOneUlpAndExactAtTheEnds) {
  double worst = 0;
  for (int i = 0; i <= 400000; ++i) {
    const double x = -1.0 + 2.0 * i / 400000.0;
    worst = std::fmax(worst, Ulps(Acos(x), acosl(x)));
  }
  EXPECT_LE(worst, 1.0);
  for (double x : {1.0, -1.0, 0.0, 0.5, -0.5, 1e-20}) EXPECT_TRUE(SameBits(Acos(x), std::acos(x))) << x;
  EXPECT_TRUE(std::isnan(Acos(1.0000001)));
  EXPECT_TRUE(std::isnan(Acos(-1.5)));
  EXPECT_TRUE(std::isnan(Acos(kNaN)));
}

TEST(DoubleLaneMath, EachLaneComputesAloneWhateverItsNeighbours) {
  // Lanes that take different paths side by side: a zero quaternion beside
  // unit ones, ends close enough for the straight blend beside ends far
  // apart, ends on opposite hemispheres.
  const Quatd unit = {0.1, 0.7, -0.2, 0.6782329983125268};
  const Quatd zero = {0, 0, 0, 0};
  const Quatd near = {0.1, 0.7, -0.2, 0.6782329983125269};
  const Quatd far = {-0.5, 0.5, 0.5, 0.5};
  const Quatd opposite = {-0.1, -0.6, 0.2, -0.7745966692414834};
  const Quatd qs[4] = {unit, zero, far, opposite};
  Quatd inverse[4], unitised[4];
  Store(Inverse(Load(qs)), inverse);
  Store(Normalise(Load(qs)), unitised);
  double ey[4], ez[4];
  Store(EulerY(Load(qs)), ey);
  Store(EulerZ(Load(qs)), ez);
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(SameQuat(inverse[i], Inverse(qs[i]))) << i;
    EXPECT_TRUE(SameQuat(unitised[i], Normalise(qs[i]))) << i;
    if (i != 1) {
      EXPECT_TRUE(SameBits(ey[i], EulerY(qs[i]))) << i;
      EXPECT_TRUE(SameBits(ez[i], EulerZ(qs[i]))) << i;
    }
  }
  EXPECT_TRUE(SameQuat(inverse[1], zero));
  EXPECT_TRUE(SameQuat(unitised[1], zero));

  const Quatd from[4] = {unit, unit, unit, far};
  const Quatd to[4] = {near, far, opposite, unit};
  const double t[4] = {0.3, 0.8, 0.45, 1.2};
  Quatd points[4];
  Store(SlerpArc4(Load(from), Load(to)).At(Load(t)), points);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(SameQuat(points[i], Slerp(from[i], to[i], t[i]))) << i;

  Quatd rotations[4];
  Store(FromEulerYZ(Set(10.0, -170.0, 0.0, 95.0), Set(-95.0, 45.0, 180.0, -1e-9)), rotations);
  EXPECT_TRUE(SameQuat(rotations[0], FromEulerYZ(10.0, -95.0)));
  EXPECT_TRUE(SameQuat(rotations[1], FromEulerYZ(-170.0, 45.0)));
  EXPECT_TRUE(SameQuat(rotations[2], FromEulerYZ(0.0, 180.0)));
  EXPECT_TRUE(SameQuat(rotations[3], FromEulerYZ(95.0, -1e-9)));
}

}  // namespace
}  // namespace plugin_pose
}  // namespace ZEMBRA
