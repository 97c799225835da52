// Double-precision quaternion building blocks of the plug-in's pose variant,
// one quaternion at a time.
//
// Quaternions are (x, y, z, w), w last, Hamilton products. The factors are
// the single-precision constants of the driver's engine widened to double,
// so both engines agree on the angles they feed each other's users. The
// blocks are the four-lane blocks of lanes/quatd4.h run on one lane, so a
// finger computed alone and one computed beside another come out the same.
// The build forbids fused multiply-add contraction, so every build gives the
// same bits.
#pragma once

#include <cmath>

#include "plugin/double_trig.h"
#include "plugin/quatd4.h"

namespace ZEMBRA {
namespace plugin_pose {

inline Quatd Mul(const Quatd& a, const Quatd& b) {
  return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y + a.y * b.w + a.z * b.x - a.x * b.z,
          a.w * b.z + a.z * b.w + a.x * b.y - a.y * b.x, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

inline double Dot(const Quatd& a, const Quatd& b) { return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w; }

// (-x, -y, -z, w) / |q|^2; all zero for the zero quaternion.
inline Quatd Inverse(const Quatd& q) { return wide::Lane0(wide::Inverse(wide::Splat(q))); }

// b seen from a.
inline Quatd Rel(const Quatd& a, const Quatd& b) { return Mul(Inverse(a), b); }

// q / |q|; the zero quaternion (and only it) is returned unchanged.
inline Quatd Normalise(const Quatd& q) { return wide::Lane0(wide::Normalise(wide::Splat(q))); }

// Angles in degrees of the decomposition q = Ry(ey) * Rx(ex) * Rz(ez) of a
// unit quaternion. There is no pole branch: ex is asin of its sine as is,
// and the pose variant never uses ex. Each angle is its own function so the
// per-packet path evaluates only the ones it needs.
inline double EulerX(const Quatd& q) { return std::asin(2.0 * (q.x * q.w - q.z * q.y)) * kRadToDegd; }
inline double EulerY(const Quatd& q) { return wide::Lane0(wide::EulerY(wide::Splat(q))); }
inline double EulerZ(const Quatd& q) { return wide::Lane0(wide::EulerZ(wide::Splat(q))); }

// Ry(ey) * Rx(ex) * Rz(ez), angles in degrees: the inverse of the Euler
// decomposition above.
inline Quatd FromEuler(double ex, double ey, double ez) {
  return wide::Lane0(wide::FromEuler(wide::Splat(ex), wide::Splat(ey), wide::Splat(ez)));
}

// FromEuler(0, ey, ez) = Ry(ey) * Rz(ez) without the terms that vanish.
inline Quatd FromEulerYZ(double ey, double ez) {
  return wide::Lane0(wide::FromEulerYZ(wide::Splat(ey), wide::Splat(ez)));
}

inline Quatd RotY(double degrees) { return wide::Lane0(wide::RotY(wide::Splat(degrees))); }
inline Quatd RotZ(double degrees) { return wide::Lane0(wide::RotZ(wide::Splat(degrees))); }

// The great arc from a to b, set up once so that several points on it (the
// thumb takes two) share the arc cosine and the sine of the arc.
class SlerpArc {
 public:
  static constexpr double kLinearAbove = wide::SlerpArc4::kLinearAbove;

  SlerpArc(const Quatd& a, const Quatd& b) : arc_(wide::Splat(a), wide::Splat(b)) {}

  // wa * a + wb * b, not normalised; t is not clamped. When a and b lie on
  // opposite hemispheres wb is negated, which takes the shorter arc.
  Quatd At(double t) const { return wide::Lane0(arc_.At(wide::Splat(t))); }

 private:
  wide::SlerpArc4 arc_;
};

inline Quatd Slerp(const Quatd& a, const Quatd& b, double t) { return SlerpArc(a, b).At(t); }

}  // namespace plugin_pose
}  // namespace ZEMBRA
