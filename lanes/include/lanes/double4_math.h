// Sine, cosine, arc tangent and arc cosine in double precision over four
// lanes, for the pose variant.
//
// Written out here rather than taken from the C library: the four fingers
// share one pass, no branch depends on an ordinary angle, and the arithmetic
// is plain IEEE, so every build and every C library gives the same bits.
// The arc cosine, sine and cosine are within one unit in the last place, the
// arc tangent within two (the tests measure them against long double); next
// to a zero of the sine or cosine the error stays below 10^-19 in absolute
// terms. A NaN in gives a NaN out.
#pragma once

#include <cmath>

#include "lanes/double4.h"
#include "lanes/force_inline.h"

namespace ZEMBRA {
namespace lanes {
namespace float64 {

namespace math_detail {

constexpr double kPi = 3.1415926535897931160e+00;
constexpr double kPiLow = 1.2246467991473531772e-16;  // pi - kPi
constexpr double kHalfPi = 1.5707963267948965580e+00;
constexpr double kHalfPiLow = 6.12323399573676603587e-17;
constexpr double kQuarterPi = 7.8539816339744827900e-01;

// sin and cos of r + tail for |r| <= pi/4, tail being below r's last place.
inline D4 SinKernel(D4 r, D4 tail) {
  const D4 z = r * r, v = z * r;
  const D4 p = Splat(8.33333333332248946124e-03) +
               z * (Splat(-1.98412698298579493134e-04) +
                    z * (Splat(2.75573137070700676789e-06) +
                         z * (Splat(-2.50507602534068634195e-08) + z * Splat(1.58969099521155010221e-10))));
  return r - ((z * (Splat(0.5) * tail - v * p) - tail) - v * Splat(-1.66666666666666324348e-01));
}
inline D4 CosKernel(D4 r, D4 tail) {
  const D4 z = r * r;
  const D4 p = z * (Splat(4.16666666666666019037e-02) +
                    z * (Splat(-1.38888888888741095749e-03) +
                         z * (Splat(2.48015872894767294178e-05) +
                              z * (Splat(-2.75573143513906633035e-07) +
                                   z * (Splat(2.08757232129817482790e-09) + z * Splat(-1.13596475577881948265e-11))))));
  const D4 half = Splat(0.5) * z, w = Splat(1.0) - half;
  return w + (((Splat(1.0) - w) - half) + (z * p - r * tail));
}

// The rational approximation of (asin(s) - s) / s^3 in z = s^2, |s| <= 0.5.
inline D4 AsinRatio(D4 z) {
  const D4 p = z * (Splat(1.66666666666666657415e-01) +
                    z * (Splat(-3.25565818622400915405e-01) +
                         z * (Splat(2.01212532134862925881e-01) +
                              z * (Splat(-4.00555345006794114027e-02) +
                                   z * (Splat(7.91534994289814532176e-04) + z * Splat(3.47933107596021167570e-05))))));
  const D4 q = Splat(1.0) + z * (Splat(-2.40339491173441421878e+00) +
                                 z * (Splat(2.02094576023350569471e+00) + z * (Splat(-6.88283971605453293030e-01) +
                                                                               z * Splat(7.70381505559019352791e-02))));
  return p / q;
}

}  // namespace math_detail

// Sine and cosine of x radians; accurate for |x| up to about 10^5.
ZEMBRA_FORCE_INLINE void SinCos(D4 x, D4& sine, D4& cosine) {
  using namespace math_detail;
  // x = n * pi/2 + r + tail with |r| <= pi/4; pi/2 in two parts, the first
  // with its last 33 bits zero so that n times it is exact. Adding and
  // removing 1.5 * 2^52 rounds to the nearest n and leaves n's low bits in
  // the low bits of the sum.
  const D4 shifted = x * Splat(6.36619772367581382433e-01) + Splat(6755399441055744.0);
  const D4 n = shifted - Splat(6755399441055744.0);
  const D4 reduced = x - n * Splat(1.57079632673412561417e+00);
  const D4 lowPart = n * Splat(6.07710050650619224932e-11);
  const D4 r = reduced - lowPart;
  const D4 tail = (reduced - r) - lowPart;
  const D4 s = SinKernel(r, tail), c = CosKernel(r, tail);
  // Quadrant n mod 4: odd quadrants swap sine and cosine; the sine is
  // negative in quadrants 2 and 3, the cosine in quadrants 1 and 2.
  const M4 odd = BitSet<0>(shifted), second = BitSet<1>(shifted);
  const D4 negative = Splat(-0.0), positive = Splat(0.0);
  sine = Xor(Select(odd, c, s), Select(second, negative, positive));
  cosine = Xor(Select(odd, s, c), Select((odd & !second) | (second & !odd), negative, positive));
}

inline D4 Sin(D4 x) {
  D4 s, c;
  SinCos(x, s, c);
  return s;
}

namespace math_detail {

// atan(lo / hi) for 0 < lo <= hi < 2^1000: below 7/16 from the series
// directly, above it as pi/4 + atan((lo - hi) / (lo + hi)), whose argument
// lies in (-0.4, 0]; pi/4 is known to twice double precision.
inline D4 AtanOfRatio(D4 lo, D4 hi) {
  const M4 upper = lo > Splat(0.4375) * hi;
  const D4 t = Select(upper, lo - hi, lo) / Select(upper, lo + hi, hi);
  const D4 high = Select(upper, Splat(kQuarterPi), Splat(0.0));
  const D4 low = Select(upper, Splat(3.06161699786838301793e-17), Splat(0.0));
  const D4 z = t * t, w = z * z;
  // Even and odd terms apart, so the two halves evaluate side by side.
  const D4 s1 = z * (Splat(3.33333333333329318027e-01) +
                     w * (Splat(1.42857142725034663711e-01) +
                          w * (Splat(9.09088713343650656196e-02) +
                               w * (Splat(6.66107313738753120669e-02) +
                                    w * (Splat(4.97687799461593236017e-02) + w * Splat(1.62858201153657823623e-02))))));
  const D4 s2 = w * (Splat(-1.99999999998764832476e-01) +
                     w * (Splat(-1.11111104054623557880e-01) +
                          w * (Splat(-7.69187620504482999495e-02) +
                               w * (Splat(-5.83357013379057348645e-02) + w * Splat(-3.65315727442169155270e-02)))));
  // With high = low = 0 this is 0 - (t (s1 + s2) - t), t - t (s1 + s2) exactly.
  return high - ((t * (s1 + s2) - low) - t);
}

// atan2 for lanes whose |x| and |y| are both above 0 and below 2^1000.
ZEMBRA_FORCE_INLINE D4 Atan2Common(D4 y, D4 x) {
  const D4 ax = Abs(x), ay = Abs(y);
  const M4 swapped = ay > ax;
  D4 angle = AtanOfRatio(Select(swapped, ax, ay), Select(swapped, ay, ax));
  // Above the diagonal: pi/2 - angle; left half plane: pi - angle; each with
  // the constant's low part.
  angle = Select(swapped, Splat(kHalfPi) - (angle - Splat(kHalfPiLow)), angle);
  angle = Select(SignBitSet(x), Splat(kPi) - (angle - Splat(kPiLow)), angle);
  return FlipSignBy(angle, y);
}

// atan2 of one lane's zeros, infinities, NaNs and huge values, which the
// common path leaves aside.
inline double Atan2Unusual(double y, double x) {
  if (std::isnan(x) || std::isnan(y)) return x + y;
  const double ax = std::fabs(x), ay = std::fabs(y);
  const bool left = std::signbit(x);
  double angle;
  if (std::isinf(ay)) {
    angle = std::isinf(ax) ? (left ? 3.0 * kQuarterPi : kQuarterPi) : kHalfPi;
  } else if (std::isinf(ax) || ay == 0.0) {
    angle = left ? kPi : 0.0;
  } else if (ax == 0.0) {
    angle = kHalfPi;
  } else {
    // Huge but finite: the same ratio from smaller numbers.
    return Lane0(Atan2Common(Splat(y * 0x1p-60), Splat(x * 0x1p-60)));
  }
  return std::copysign(angle, y);
}

}  // namespace math_detail

// atan2(y, x) in radians, with the C library's quadrants, signed zeros and
// infinities.
inline D4 Atan2(D4 y, D4 x) {
  using namespace math_detail;
  const D4 angle = Atan2Common(y, x);
  const D4 ax = Abs(x), ay = Abs(y);
  // Zeros, infinities, NaNs and sizes at which the steps above would
  // overflow are rare: those lanes are done one at a time.
  const D4 limit = Splat(0x1p1000);
  const M4 usual = (ax > Splat(0.0)) & (ay > Splat(0.0)) & (ax < limit) & (ay < limit);
  const int usualLanes = LaneBits(usual);
  if (usualLanes == 0xF) return angle;
  double result[4], ys[4], xs[4];
  Store(angle, result);
  Store(y, ys);
  Store(x, xs);
  for (int i = 0; i < 4; ++i) {
    if (!(usualLanes & (1 << i))) result[i] = Atan2Unusual(ys[i], xs[i]);
  }
  return Load(result);
}

// Arc cosine in radians; NaN outside [-1, 1].
inline D4 Acos(D4 x) {
  using namespace math_detail;
  const D4 ax = Abs(x), one = Splat(1.0), half = Splat(0.5);
  const M4 inner = ax < half;
  // Inside |x| < 0.5 through asin(x); outside through the square root of
  // (1 - |x|) / 2, the sine of half the angle from the nearer end.
  const D4 z = Select(inner, x * x, (one - ax) * half);
  const D4 r = AsinRatio(z);
  const D4 s = Sqrt(z);
  const D4 fromInner = Splat(kHalfPi) - (x - (Splat(kHalfPiLow) - x * r));
  const D4 fromBelow = Splat(kPi) - Splat(2.0) * (s + (r * s - Splat(kHalfPiLow)));
  // Near +1 the root is split so that its square is exact.
  const D4 rootHigh = HighWord(s);
  const D4 correction = (z - rootHigh * rootHigh) / (s + rootHigh);
  const D4 fromAbove = Splat(2.0) * (rootHigh + (r * s + correction));
  D4 angle = Select(inner, fromInner, Select(SignBitSet(x), fromBelow, fromAbove));
  // acos(1) is 0 (the correction above would divide 0 by 0).
  return Select(x == one, Splat(0.0), angle);
}

}  // namespace float64
}  // namespace lanes
}  // namespace ZEMBRA
