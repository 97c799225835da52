// The pose variant's own arc functions against long double, their special
// values against the C library, and the independence of the two lanes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "plugin/lanes/quatd2.h"
#include "plugin/quat_double.h"

namespace ZEMBRA_IMU {
namespace {

using namespace lanes;

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

TEST(DoubleLaneMath, SineAndCosineWithinOneUlp) {
  std::mt19937_64 gen(3);
  std::uniform_real_distribution<double> angle(-10.0, 10.0);
  double worstSin = 0, worstCos = 0;
  for (int i = 0; i < 400000; ++i) {
    const double x = i < 200000 ? -4.0 + 8.0 * i / 200000.0 : angle(gen);
    D2 s, c;
    SinCos(Set(x, -x), s, c);
    // Beside a zero of the function the result is tiny; there the error
    // counts in absolute terms.
    worstSin = std::fmax(worstSin, Ulps(Lane0(s), sinl(x), 1e-19L));
    worstSin = std::fmax(worstSin, Ulps(Lane1(s), sinl(-x), 1e-19L));
    worstCos = std::fmax(worstCos, Ulps(Lane0(c), cosl(x), 1e-19L));
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
    const D2 both = Atan2(Set(y, x), Set(x, y));
    worst = std::fmax(worst, Ulps(Lane0(both), atan2l(y, x)));
    worst = std::fmax(worst, Ulps(Lane1(both), atan2l(x, y)));
  }
  EXPECT_LE(worst, 2.0);
}

TEST(DoubleLaneMath, ArcTangentSpecialValuesAreTheCLibrarys) {
  const double cases[][2] = {{0, 0},       {-0.0, 0},     {0, -0.0},     {-0.0, -0.0},   {1, 0},
                             {1, -0.0},    {-1, 0},       {kInf, kInf},  {-kInf, kInf},  {kInf, -kInf},
                             {-kInf, -kInf}, {1, kInf},   {1, -kInf},    {-1, -kInf},    {kInf, 1},
                             {-kInf, -5},  {1e300, 1e-300}, {1e308, 1e308}, {-1e308, 1.5e308}, {1, 1},
                             {-2, -2},     {3e-320, 1},   {1, 3e-320}};
  for (const auto& c : cases) {
    // Every lane of a pair goes its own way: a special value beside an
    // ordinary one, and on its own.
    const double want = std::atan2(c[0], c[1]);
    const D2 mixed = Atan2(Set(c[0], 0.5), Set(c[1], -0.25));
    EXPECT_TRUE(SameBits(Lane0(mixed), want)) << "atan2(" << c[0] << ", " << c[1] << ") = " << Lane0(mixed);
    EXPECT_TRUE(SameBits(Lane1(mixed), std::atan2(0.5, -0.25)));
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

bool SameQuat(const Quatd& a, const Quatd& b) {
  return SameBits(a.x, b.x) && SameBits(a.y, b.y) && SameBits(a.z, b.z) && SameBits(a.w, b.w);
}

TEST(DoubleLaneMath, EachLaneComputesAloneWhateverItsNeighbour) {
  // Pairs that take different paths: a zero quaternion beside a unit one,
  // ends close enough for the straight blend beside ends far apart.
  const Quatd unit = {0.1, 0.7, -0.2, 0.6782329983125268};
  const Quatd zero = {0, 0, 0, 0};
  const Quatd near = {0.1, 0.7, -0.2, 0.6782329983125269};
  const Quatd far = {-0.5, 0.5, 0.5, 0.5};
  const Quatd2 mixed = Pair(unit, zero);
  EXPECT_TRUE(SameQuat(Lane0(Inverse(mixed)), Inverse(unit)));
  EXPECT_TRUE(SameQuat(Lane1(Inverse(mixed)), Quatd{0, 0, 0, 0}));
  EXPECT_TRUE(SameQuat(Lane1(Normalise(mixed)), zero));
  EXPECT_TRUE(SameBits(Lane0(EulerY(mixed)), EulerY(unit)));
  EXPECT_TRUE(SameBits(Lane0(EulerZ(Pair(far, unit))), EulerZ(far)));

  const Quatd2 points = SlerpArc2(Pair(unit, unit), Pair(near, far)).At(Set(0.3, 0.8));
  EXPECT_TRUE(SameQuat(Lane0(points), Slerp(unit, near, 0.3)));
  EXPECT_TRUE(SameQuat(Lane1(points), Slerp(unit, far, 0.8)));
  const Quatd2 rotations = FromEulerYZ(Set(10.0, -170.0), Set(-95.0, 45.0));
  EXPECT_TRUE(SameQuat(Lane0(rotations), FromEulerYZ(10.0, -95.0)));
  EXPECT_TRUE(SameQuat(Lane1(rotations), FromEulerYZ(-170.0, 45.0)));
}

}  // namespace
}  // namespace ZEMBRA_IMU
