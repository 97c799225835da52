// Sine, cosine, arc tangent, arc sine and arc cosine over four single-precision lanes.
//
// The pose engine's numbers come from these rather than from the C
// library, for two reasons: they run on four fingers at once, and they are
// plain IEEE arithmetic, so every build and every C library gives the same
// bits. Each result is within 2 units in the last place of the exact value
// over the arguments the engine produces (the tests sweep them); a NaN in
// gives a NaN out.
#pragma once

#include <limits>

#include "lanes/float4.h"
#include "lanes/force_inline.h"

namespace ZEMBRA {
namespace lanes {
namespace float32 {

namespace math_detail {

// Adding and removing 1.5 * 2^23 rounds a float of magnitude below 2^22 to
// the nearest integer (ties to even), and leaves that integer's low bits in
// the low bits of the sum.
constexpr float kRoundMagic = 12582912.0f;

inline F4 SignOnly(M4 m) { return Select(m, Splat(-0.0f), Splat(0.0f)); }

}  // namespace math_detail

// Sine and cosine of x radians. Accurate for |x| below about 8000, and
// finite (if meaningless) beyond.
ZEMBRA_FORCE_INLINE void SinCos(F4 x, F4& sine, F4& cosine) {
  using namespace math_detail;
  // x = n * pi/2 + r with |r| <= pi/4; pi/2 in three parts so that the
  // first products are exact.
  const F4 shifted = x * Splat(0.63661977236758134f) + Splat(kRoundMagic);
  const F4 n = shifted - Splat(kRoundMagic);
  const F4 r = ((x - n * Splat(1.5703125f)) - n * Splat(4.837512969970703125e-4f)) - n * Splat(7.54978995489188216e-8f);
  const F4 z = r * r;
  const F4 sinR = ((Splat(-1.9515295891e-4f) * z + Splat(8.3321608736e-3f)) * z + Splat(-1.6666654611e-1f)) * z * r + r;
  const F4 cosR =
      ((Splat(2.443315711809948e-5f) * z + Splat(-1.388731625493765e-3f)) * z + Splat(4.166664568298827e-2f)) * z * z -
      Splat(0.5f) * z + Splat(1.0f);
  // Quadrant n mod 4: odd quadrants swap sine and cosine; the sine is
  // negative in quadrants 2 and 3, the cosine in quadrants 1 and 2.
  const M4 odd = BitSet<0>(shifted);
  const M4 second = BitSet<1>(shifted);
  sine = Xor(Select(odd, cosR, sinR), SignOnly(second));
  cosine = Xor(Select(odd, sinR, cosR), SignOnly((odd & (!second)) | (second & (!odd))));
}

inline F4 Sin(F4 x) {
  F4 s, c;
  SinCos(x, s, c);
  return s;
}

// atan2(y, x) in radians, with the C library's quadrants and signed zeros.
ZEMBRA_FORCE_INLINE F4 Atan2(F4 y, F4 x) {
  const F4 ax = Abs(x), ay = Abs(y);
  const F4 lo = Min(ax, ay), hi = Max(ax, ay);
  const F4 inf = Splat(std::numeric_limits<float>::infinity());
  // atan(lo / hi) in [0, pi/4]. Above tan(pi/8) it is pi/4 + atan of
  // (lo - hi) / (lo + hi), so the series below only sees |a| <= tan(pi/8).
  const M4 bothInfinite = (lo == inf) & (hi == inf);
  const M4 upper = (lo > Splat(0.41421356237f) * hi) | bothInfinite;
  F4 num = Select(upper, lo - hi, lo);
  F4 den = Select(upper, lo + hi, hi);
  num = Select(bothInfinite, Splat(0.0f), num);
  den = Select(bothInfinite | (den == Splat(0.0f)), Splat(1.0f), den);
  const F4 a = num / den;
  const F4 z = a * a;
  const F4 series = (((Splat(8.05374449538e-2f) * z + Splat(-1.38776856032e-1f)) * z + Splat(1.99777106478e-1f)) * z +
                     Splat(-3.33329491539e-1f)) *
                        z * a +
                    a;
  F4 angle = Select(upper, Splat(0.78539816339744831f) + series, series);
  angle = Select(ay > ax, Splat(1.5707963267948966f) - angle, angle);
  angle = Select(SignBitSet(x), Splat(3.1415926535897932f) - angle, angle);
  angle = CopySign(angle, y);
  return Select(IsNaN(x) | IsNaN(y), x + y, angle);
}

namespace math_detail {

// asin(s) for |s| <= 0.5.
inline F4 AsinKernel(F4 s) {
  const F4 z = s * s;
  return ((((Splat(4.2163199048e-2f) * z + Splat(2.4181311049e-2f)) * z + Splat(4.5470025998e-2f)) * z +
           Splat(7.4953002686e-2f)) *
              z +
          Splat(1.6666752422e-1f)) *
             z * s +
         s;
}

// For |x| > 0.5: 2 asin(sqrt((1 - |x|) / 2)), which is acos(|x|).
inline F4 AcosOfMagnitude(F4 ax) { return Splat(2.0f) * AsinKernel(Sqrt(Splat(0.5f) * (Splat(1.0f) - ax))); }

}  // namespace math_detail

// Arc cosine in radians; NaN outside [-1, 1].
inline F4 Acos(F4 x) {
  using namespace math_detail;
  const F4 ax = Abs(x);
  const M4 outer = ax > Splat(0.5f);
  const F4 nearEnds = AcosOfMagnitude(ax);
  const F4 fromEnds = Select(SignBitSet(x), Splat(3.1415926535897932f) - nearEnds, nearEnds);
  return Select(outer, fromEnds, Splat(1.5707963267948966f) - AsinKernel(x));
}

// Arc sine in radians; NaN outside [-1, 1].
inline F4 Asin(F4 x) {
  using namespace math_detail;
  const F4 ax = Abs(x);
  const M4 outer = ax > Splat(0.5f);
  const F4 fromEnds = CopySign(Splat(1.5707963267948966f) - AcosOfMagnitude(ax), x);
  return Select(outer, fromEnds, AsinKernel(x));
}

}  // namespace float32
}  // namespace lanes
}  // namespace ZEMBRA
