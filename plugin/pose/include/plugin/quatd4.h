// The pose variant's quaternion blocks over four lanes (namespace wide):
// lane i holds one quaternion (x, y, z, w) of four, one component per D4.
// The blocks both engines share come from lanes/quat4.h; these are the ones
// this engine computes its own way (its normalisation and relative rotation
// guard the zero quaternion, its Euler order and interpolation are its
// own). Each block is the scalar formula applied to every lane with the same
// operations in the same order, and branches become per-lane selections, so
// lane i's result is what the scalar formula gives for lane i's inputs.
#pragma once

#include "lanes/double4_math.h"
#include "lanes/quat4.h"

namespace ZEMBRA {
namespace plugin_pose {

struct Quatd {
  double x, y, z, w;
};

constexpr Quatd kIdentityd = {0.0, 0.0, 0.0, 1.0};
constexpr double kRadToDegd = 57.295780181884766;   // 57.29578f widened
constexpr double kDegToRadd = 0.01745329238474369;  // 0.017453292f widened

namespace wide {

// The lanes of this precision and the blocks both engines share. The names
// this engine also gives functions of its own (here, and in double_trig.h and quat_double.h
// for one quaternion at a time) are declared one by one, so that its own
// never hide the lanes' ones.
using namespace ZEMBRA::lanes::float64;
using ZEMBRA::lanes::Dot;
using ZEMBRA::lanes::Mul;
using ZEMBRA::lanes::Select;
using ZEMBRA::lanes::Store;
using ZEMBRA::lanes::float64::Acos;
using ZEMBRA::lanes::float64::Atan2;
using ZEMBRA::lanes::float64::Lane0;
using ZEMBRA::lanes::float64::Load;
using ZEMBRA::lanes::float64::Select;
using ZEMBRA::lanes::float64::Sin;
using ZEMBRA::lanes::float64::SinCos;
using ZEMBRA::lanes::float64::Splat;
using ZEMBRA::lanes::float64::Store;

using Quatd4 = ZEMBRA::lanes::Quat4<D4>;

inline Quatd4 Splat(const Quatd& q) { return {Splat(q.x), Splat(q.y), Splat(q.z), Splat(q.w)}; }
inline Quatd4 Load(const Quatd* q) {
  return {Set(q[0].x, q[1].x, q[2].x, q[3].x), Set(q[0].y, q[1].y, q[2].y, q[3].y), Set(q[0].z, q[1].z, q[2].z, q[3].z),
          Set(q[0].w, q[1].w, q[2].w, q[3].w)};
}
inline Quatd Lane0(const Quatd4& q) { return {Lane0(q.x), Lane0(q.y), Lane0(q.z), Lane0(q.w)}; }

// (-x, -y, -z, w) / |q|^2; all zero for the zero quaternion.
inline Quatd4 Inverse(const Quatd4& q) {
  const D4 n = Dot(q, q);
  const M4 some = n > Splat(0.0);
  const D4 zero = Splat(0.0);
  return {Select(some, -q.x / n, zero), Select(some, -q.y / n, zero), Select(some, -q.z / n, zero),
          Select(some, q.w / n, zero)};
}
// b seen from a.
inline Quatd4 Rel(const Quatd4& a, const Quatd4& b) { return Mul(Inverse(a), b); }

// q / |q|; the zero quaternion (and only it) is returned unchanged.
inline Quatd4 Normalise(const Quatd4& q) {
  const D4 n = Dot(q, q);
  const M4 some = n > Splat(0.0);
  const D4 len = Sqrt(n);
  return {Select(some, q.x / len, q.x), Select(some, q.y / len, q.y), Select(some, q.z / len, q.z),
          Select(some, q.w / len, q.w)};
}

// Angles ey and ez in degrees of the decomposition q = Ry(ey) * Rx(ex) *
// Rz(ez) of a unit quaternion (no pole branch).
inline D4 EulerY(const Quatd4& q) {
  return Atan2(Splat(2.0) * (q.z * q.x + q.w * q.y), Splat(1.0) - Splat(2.0) * (q.x * q.x + q.y * q.y)) *
         Splat(kRadToDegd);
}
inline D4 EulerZ(const Quatd4& q) {
  return Atan2(Splat(2.0) * (q.x * q.y + q.w * q.z), Splat(1.0) - Splat(2.0) * (q.z * q.z + q.x * q.x)) *
         Splat(kRadToDegd);
}

// Ry(ey) * Rx(ex) * Rz(ez), angles in degrees: the inverse of the
// decomposition above.
inline Quatd4 FromEuler(D4 ex, D4 ey, D4 ez) {
  D4 sx, cx, sy, cy, sz, cz;
  SinCos(ex * Splat(kDegToRadd) * Splat(0.5), sx, cx);
  SinCos(ey * Splat(kDegToRadd) * Splat(0.5), sy, cy);
  SinCos(ez * Splat(kDegToRadd) * Splat(0.5), sz, cz);
  return {cy * sx * cz + sy * cx * sz, sy * cx * cz - cy * sx * sz, cy * cx * sz - sy * sx * cz,
          cy * cx * cz + sy * sx * sz};
}
// FromEuler(0, ey, ez) = Ry(ey) * Rz(ez) without the terms that vanish.
inline Quatd4 FromEulerYZ(D4 ey, D4 ez) {
  D4 sy, cy, sz, cz;
  SinCos(ey * Splat(kDegToRadd) * Splat(0.5), sy, cy);
  SinCos(ez * Splat(kDegToRadd) * Splat(0.5), sz, cz);
  return {sy * sz, sy * cz, cy * sz, cy * cz};
}

inline Quatd4 RotY(D4 degrees) {
  D4 s, c;
  SinCos(degrees * Splat(0.5) * Splat(kDegToRadd), s, c);
  return {Splat(0.0), s, Splat(0.0), c};
}
inline Quatd4 RotZ(D4 degrees) {
  D4 s, c;
  SinCos(degrees * Splat(0.5) * Splat(kDegToRadd), s, c);
  return {Splat(0.0), Splat(0.0), s, c};
}

// The great arc from a to b, set up once so that several points on it share
// the arc cosine and the sine of the arc.
class SlerpArc4 {
 public:
  // Below this |a.b| the arc is followed on the sphere; at or above it the
  // two ends are so close (or opposite) that a straight blend is used.
  static constexpr double kLinearAbove = 0.9999999999999998;  // 1 - 2^-52

  SlerpArc4(const Quatd4& a, const Quatd4& b) : a_(a), b_(b) {
    d_ = Dot(a, b);
    const D4 ad = Abs(d_);
    linear_ = ad >= Splat(kLinearAbove);
    theta_ = Acos(ad);
    sinTheta_ = Sin(theta_);
  }

  // wa * a + wb * b, not normalised; t is not clamped. When a and b lie on
  // opposite hemispheres wb is negated, which takes the shorter arc.
  Quatd4 At(D4 t) const {
    const D4 one = Splat(1.0);
    const D4 wa = Select(linear_, one - t, Sin((one - t) * theta_) / sinTheta_);
    D4 wb = Select(linear_, t, Sin(t * theta_) / sinTheta_);
    wb = Select(d_ < Splat(0.0), -wb, wb);
    return {wa * a_.x + wb * b_.x, wa * a_.y + wb * b_.y, wa * a_.z + wb * b_.z, wa * a_.w + wb * b_.w};
  }

 private:
  Quatd4 a_, b_;
  D4 d_;
  M4 linear_;
  D4 theta_, sinTheta_;
};

}  // namespace wide
}  // namespace plugin_pose
}  // namespace ZEMBRA
