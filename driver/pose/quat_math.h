// Single-precision quaternion building blocks of the pose engine.
//
// Quaternions are (x, y, z, w), Hamilton products. Every operation is
// written out in the order the pose engine's numbers depend on; the build
// forbids fused multiply-add contraction so every build gives the same bits.
#pragma once

#include <cmath>

#include "zembra/Pose.h"

namespace ZEMBRA {
namespace pose {

struct Euler {
  float ex, ey, ez;  // degrees; q = Ry(ey) * Rx(ex) * Rz(ez)
};

constexpr Quat kIdentity = {0.0f, 0.0f, 0.0f, 1.0f};
constexpr float kRadToDeg = 57.29578f;
constexpr float kDegToRad = 0.017453292f;

// The small blocks are inline: the pose engine calls them dozens of times
// per packet. Inlining changes no result, since contraction is off.
inline Quat Mul(const Quat& a, const Quat& b) {
  return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
          a.w * b.y + a.y * b.w + a.z * b.x - a.x * b.z,
          a.w * b.z + a.z * b.w + a.x * b.y - a.y * b.x,
          a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}
inline float Dot(const Quat& a, const Quat& b) { return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w; }
inline Quat Normalise(const Quat& q) {
  const float inv = 1.0f / std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
  return {q.x * inv, q.y * inv, q.z * inv, q.w * inv};
}
inline Quat Conj(const Quat& q) { return {-q.x, -q.y, -q.z, q.w}; }
// b seen from a: Conj(Normalise(a)) * b.
inline Quat Rel(const Quat& a, const Quat& b) { return Mul(Conj(Normalise(a)), b); }

Euler ToEuler(const Quat& q);

namespace euler_detail {

// Which branch of the decomposition q falls in: the two poles, where ez is 0
// and ey comes from atan2(y, x), or the general case.
enum class Pole { North, South, None };

inline Pole PoleOf(const Quat& q) {
  const float x = q.x, y = q.y, z = q.z, w = q.w;
  const float n = x * x + y * y + z * z + w * w;
  const float t = x * w - z * y;
  if (t > 0.4995f * n) return Pole::North;
  if (t < -0.4995f * n) return Pole::South;
  return Pole::None;
}

inline float PoleY(const Quat& q, Pole pole) {
  return pole == Pole::North ? 2.0f * std::atan2(q.y, q.x) * kRadToDeg : -2.0f * std::atan2(q.y, q.x) * kRadToDeg;
}

inline float GeneralY(const Quat& q) {
  const float x = q.x, y = q.y, z = q.z, w = q.w;
  return std::atan2(2.0f * (z * x + w * y), 1.0f - 2.0f * (x * x + y * y)) * kRadToDeg;
}

inline float GeneralZ(const Quat& q) {
  const float x = q.x, y = q.y, z = q.z, w = q.w;
  return std::atan2(2.0f * (x * y + w * z), 1.0f - 2.0f * (z * z + x * x)) * kRadToDeg;
}

}  // namespace euler_detail

// Single angles of ToEuler, computed exactly as ToEuler computes them but
// without the arc functions of the angles not asked for.
inline float EulerY(const Quat& q) {
  using namespace euler_detail;
  const Pole pole = PoleOf(q);
  return pole == Pole::None ? GeneralY(q) : PoleY(q, pole);
}
inline float EulerZ(const Quat& q) {
  using namespace euler_detail;
  return PoleOf(q) == Pole::None ? GeneralZ(q) : 0.0f;
}
struct EulerYZ {
  float ey, ez;
};
inline EulerYZ ToEulerYZ(const Quat& q) {
  using namespace euler_detail;
  const Pole pole = PoleOf(q);
  if (pole != Pole::None) return {PoleY(q, pole), 0.0f};
  return {GeneralY(q), GeneralZ(q)};
}

// Rz(ez) * Ry(ey) * Rx(ex): not the inverse of ToEuler.
Quat FromEuler(float ex, float ey, float ez);
// FromEuler(0, ey, ez), without evaluating the sine and cosine of zero.
Quat FromEulerYZ(float ey, float ez);
inline float RelY(const Quat& a, const Quat& b) { return EulerY(Rel(a, b)); }
inline float RelZ(const Quat& a, const Quat& b) { return EulerZ(Rel(a, b)); }
Quat RotY(float degrees);
Quat RotZ(float degrees);
// Rotation about Z whose half angle is given in radians.
Quat RotZHalfAngle(float halfRadians);
// Spherical interpolation; t is not clamped.
Quat Slerp(const Quat& a, const Quat& b, float t);

}  // namespace pose
}  // namespace ZEMBRA
