// Single-precision quaternion building blocks of the pose engine, one
// quaternion at a time.
//
// Quaternions are (x, y, z, w), Hamilton products. The blocks with an arc
// function are the four-lane blocks of lanes/quat4.h run on one lane, so a
// finger computed alone and a finger computed beside three others come out
// the same. The build forbids fused multiply-add contraction, so every build
// gives the same bits.
#pragma once

#include <cmath>

#include "driver/pose/quat4.h"
#include "zembra/Pose.h"

namespace ZEMBRA {
namespace pose {

struct Euler {
  float ex, ey, ez;  // degrees; q = Ry(ey) * Rx(ex) * Rz(ez)
};

constexpr Quat kIdentity = {0.0f, 0.0f, 0.0f, 1.0f};

inline Quat Mul(const Quat& a, const Quat& b) {
  return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y + a.y * b.w + a.z * b.x - a.x * b.z,
          a.w * b.z + a.z * b.w + a.x * b.y - a.y * b.x, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}
inline float Dot(const Quat& a, const Quat& b) { return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w; }
inline Quat Normalise(const Quat& q) {
  const float inv = 1.0f / std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
  return {q.x * inv, q.y * inv, q.z * inv, q.w * inv};
}
inline Quat Conj(const Quat& q) { return {-q.x, -q.y, -q.z, q.w}; }
// b seen from a: Conj(Normalise(a)) * b.
inline Quat Rel(const Quat& a, const Quat& b) { return Mul(Conj(Normalise(a)), b); }

// The decomposition q = Ry(ey) * Rx(ex) * Rz(ez); near the poles ex is +-90,
// ez is 0 and ey comes from atan2(y, x).
Euler ToEuler(const Quat& q);
float EulerY(const Quat& q);
float EulerZ(const Quat& q);
inline float RelY(const Quat& a, const Quat& b) { return EulerY(Rel(a, b)); }
inline float RelZ(const Quat& a, const Quat& b) { return EulerZ(Rel(a, b)); }

// Rz(ez) * Ry(ey) * Rx(ex): not the inverse of ToEuler.
Quat FromEuler(float ex, float ey, float ez);
// FromEuler(0, ey, ez), without evaluating the sine and cosine of zero.
Quat FromEulerYZ(float ey, float ez);
Quat RotY(float degrees);
Quat RotZ(float degrees);
// Rotation about Z whose half angle is given in radians.
Quat RotZHalfAngle(float halfRadians);
// Spherical interpolation; t is not clamped.
Quat Slerp(const Quat& a, const Quat& b, float t);

// The engine's sine and cosine of one angle in radians.
void SinCos(float radians, float& sine, float& cosine);

}  // namespace pose
}  // namespace ZEMBRA
