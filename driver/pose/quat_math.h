// Single-precision quaternion building blocks of the pose engine.
//
// Quaternions are (x, y, z, w), Hamilton products. Every operation is
// written out in the order the pose engine's numbers depend on; the build
// forbids fused multiply-add contraction so every build gives the same bits.
#pragma once

#include "zembra/Pose.h"

namespace ZEMBRA {
namespace pose {

struct Euler {
  float ex, ey, ez;  // degrees; q = Ry(ey) * Rx(ex) * Rz(ez)
};

constexpr Quat kIdentity = {0.0f, 0.0f, 0.0f, 1.0f};
constexpr float kRadToDeg = 57.29578f;
constexpr float kDegToRad = 0.017453292f;

Quat Mul(const Quat& a, const Quat& b);
float Dot(const Quat& a, const Quat& b);
Quat Normalise(const Quat& q);
Quat Conj(const Quat& q);
// b seen from a: Conj(Normalise(a)) * b.
Quat Rel(const Quat& a, const Quat& b);
Euler ToEuler(const Quat& q);
// Rz(ez) * Ry(ey) * Rx(ex): not the inverse of ToEuler.
Quat FromEuler(float ex, float ey, float ez);
float RelY(const Quat& a, const Quat& b);
float RelZ(const Quat& a, const Quat& b);
Quat RotY(float degrees);
Quat RotZ(float degrees);
// Rotation about Z whose half angle is given in radians.
Quat RotZHalfAngle(float halfRadians);
// Spherical interpolation; t is not clamped.
Quat Slerp(const Quat& a, const Quat& b, float t);

}  // namespace pose
}  // namespace ZEMBRA
