// The pose variant's sine, cosine, arc tangent and arc cosine for one
// argument: the four-lane functions of lanes/double4_math.h run on one lane,
// so a value computed alone and one computed beside another come out the
// same.
#pragma once

#include "lanes/double4_math.h"

namespace ZEMBRA_IMU {

// atan2(y, x) in radians, with the C library's quadrants, signed zeros and
// infinities.
inline double Atan2(double y, double x) { return lanes::Lane0(lanes::Atan2(lanes::Splat(y), lanes::Splat(x))); }

// Sine and cosine of x radians, accurate for |x| up to about 10^5.
inline void SinCos(double x, double& sine, double& cosine) {
  lanes::D4 s, c;
  lanes::SinCos(lanes::Splat(x), s, c);
  sine = lanes::Lane0(s);
  cosine = lanes::Lane0(c);
}
inline double Sin(double x) { return lanes::Lane0(lanes::Sin(lanes::Splat(x))); }

// Arc cosine in radians; NaN outside [-1, 1].
inline double Acos(double x) { return lanes::Lane0(lanes::Acos(lanes::Splat(x))); }

}  // namespace ZEMBRA_IMU
