// The pose variant's sine, cosine, arc tangent and arc cosine for one
// argument: the four-lane functions of lanes/double4_math.h run on one lane,
// so a value computed alone and one computed beside another come out the
// same.
#pragma once

#include "lanes/double4_math.h"

namespace ZEMBRA {
namespace plugin_pose {

// atan2(y, x) in radians, with the C library's quadrants, signed zeros and
// infinities.
inline double Atan2(double y, double x) {
  return lanes::float64::Lane0(lanes::float64::Atan2(lanes::float64::Splat(y), lanes::float64::Splat(x)));
}

// Sine and cosine of x radians, accurate for |x| up to about 10^5.
inline void SinCos(double x, double& sine, double& cosine) {
  lanes::float64::D4 s, c;
  lanes::float64::SinCos(lanes::float64::Splat(x), s, c);
  sine = lanes::float64::Lane0(s);
  cosine = lanes::float64::Lane0(c);
}
inline double Sin(double x) { return lanes::float64::Lane0(lanes::float64::Sin(lanes::float64::Splat(x))); }

// Arc cosine in radians; NaN outside [-1, 1].
inline double Acos(double x) { return lanes::float64::Lane0(lanes::float64::Acos(lanes::float64::Splat(x))); }

}  // namespace plugin_pose
}  // namespace ZEMBRA
