// The pose engine's quaternion blocks over four lanes (namespace wide):
// lane i holds one quaternion (x, y, z, w) of four, one component per F4.
// The blocks both engines share come from lanes/quat4.h; these are the ones
// this engine computes its own way. Each block is the scalar formula applied
// to every lane with the same operations in the same order, and branches
// become per-lane selections, so lane i's result is what the scalar formula
// gives for lane i's inputs.
#pragma once

#include "lanes/float4_math.h"
#include "lanes/quat4.h"
#include "zembra/Pose.h"

namespace ZEMBRA {
namespace pose {

constexpr float kRadToDeg = 57.29578f;
constexpr float kDegToRad = 0.017453292f;

namespace wide {

// The lanes of this precision and the blocks both engines share. The names
// this engine also gives functions of its own (here, and in quat_math.h
// for one quaternion at a time) are declared one by one, so that its own
// never hide the lanes' ones.
using namespace ZEMBRA::lanes::float32;
using ZEMBRA::lanes::Dot;
using ZEMBRA::lanes::Mul;
using ZEMBRA::lanes::Select;
using ZEMBRA::lanes::Store;
using ZEMBRA::lanes::float32::Lane0;
using ZEMBRA::lanes::float32::Load;
using ZEMBRA::lanes::float32::Select;
using ZEMBRA::lanes::float32::SinCos;
using ZEMBRA::lanes::float32::Splat;
using ZEMBRA::lanes::float32::Store;

using Quat4 = ZEMBRA::lanes::Quat4<F4>;

inline Quat4 Splat(const Quat& q) { return {Splat(q.x), Splat(q.y), Splat(q.z), Splat(q.w)}; }
inline Quat4 Load(const Quat* q) {
  return {Set(q[0].x, q[1].x, q[2].x, q[3].x), Set(q[0].y, q[1].y, q[2].y, q[3].y), Set(q[0].z, q[1].z, q[2].z, q[3].z),
          Set(q[0].w, q[1].w, q[2].w, q[3].w)};
}
inline Quat Lane0(const Quat4& q) { return {Lane0(q.x), Lane0(q.y), Lane0(q.z), Lane0(q.w)}; }
inline Quat4 Conj(const Quat4& q) { return {-q.x, -q.y, -q.z, q.w}; }

inline Quat4 Normalise(const Quat4& q) {
  const F4 inv = Splat(1.0f) / Sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
  return {q.x * inv, q.y * inv, q.z * inv, q.w * inv};
}
// b seen from a: Conj(Normalise(a)) * b.
inline Quat4 Rel(const Quat4& a, const Quat4& b) { return Mul(Conj(Normalise(a)), b); }

// The decomposition q = Ry(ey) * Rx(ex) * Rz(ez), angles in degrees. Near
// the poles (|x w - z y| above 0.4995 of |q|^2) ex is +-90, ez is 0 and ey
// comes from atan2(y, x).
struct Euler4 {
  M4 north, south;
};
inline Euler4 PolesOf(const Quat4& q) {
  const F4 n = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
  const F4 t = q.x * q.w - q.z * q.y;
  const M4 north = t > Splat(0.4995f) * n;
  return {north, (!north) & (t < Splat(-0.4995f) * n)};
}
inline F4 PoleY(const Quat4& q, const Euler4& poles) {
  const F4 half = Atan2(q.y, q.x);
  return Select(poles.north, Splat(2.0f) * half * Splat(kRadToDeg), Splat(-2.0f) * half * Splat(kRadToDeg));
}
inline F4 EulerY(const Quat4& q, const Euler4& poles) {
  const F4 general = Atan2(Splat(2.0f) * (q.z * q.x + q.w * q.y), Splat(1.0f) - Splat(2.0f) * (q.x * q.x + q.y * q.y)) *
                     Splat(kRadToDeg);
  const M4 atPole = poles.north | poles.south;
  // Poles are rare: their arc tangent is only worth computing when a lane has one.
  return Any(atPole) ? Select(atPole, PoleY(q, poles), general) : general;
}
inline F4 EulerZ(const Quat4& q, const Euler4& poles) {
  const F4 general = Atan2(Splat(2.0f) * (q.x * q.y + q.w * q.z), Splat(1.0f) - Splat(2.0f) * (q.z * q.z + q.x * q.x)) *
                     Splat(kRadToDeg);
  return Select(poles.north | poles.south, Splat(0.0f), general);
}
inline F4 EulerX(const Quat4& q, const Euler4& poles) {
  const F4 general = Asin(Splat(2.0f) * (q.x * q.w - q.z * q.y)) * Splat(kRadToDeg);
  return Select(poles.north, Splat(1.5707964f * kRadToDeg),
                Select(poles.south, Splat(-1.5707964f * kRadToDeg), general));
}
inline F4 EulerY(const Quat4& q) { return EulerY(q, PolesOf(q)); }
inline F4 EulerZ(const Quat4& q) { return EulerZ(q, PolesOf(q)); }
inline F4 RelY(const Quat4& a, const Quat4& b) { return EulerY(Rel(a, b)); }
inline F4 RelZ(const Quat4& a, const Quat4& b) { return EulerZ(Rel(a, b)); }

// Rz(ez) * Ry(ey) * Rx(ex), angles in degrees.
inline Quat4 FromEuler(F4 ex, F4 ey, F4 ez) {
  F4 sx, cx, sy, cy, sz, cz;
  SinCos(ex * Splat(kDegToRad) * Splat(0.5f), sx, cx);
  SinCos(ey * Splat(kDegToRad) * Splat(0.5f), sy, cy);
  SinCos(ez * Splat(kDegToRad) * Splat(0.5f), sz, cz);
  return {cz * cy * sx - sz * sy * cx, sz * cy * sx + cz * sy * cx, sz * cy * cx - cz * sy * sx,
          sz * sy * sx + cz * cy * cx};
}
// FromEuler(0, ey, ez): the sine and cosine of zero are exactly 0 and 1, so
// the same products come out without evaluating them.
inline Quat4 FromEulerYZ(F4 ey, F4 ez) {
  F4 sy, cy, sz, cz;
  SinCos(ey * Splat(kDegToRad) * Splat(0.5f), sy, cy);
  SinCos(ez * Splat(kDegToRad) * Splat(0.5f), sz, cz);
  const F4 sx = Splat(0.0f), cx = Splat(1.0f);
  return {cz * cy * sx - sz * sy * cx, sz * cy * sx + cz * sy * cx, sz * cy * cx - cz * sy * sx,
          sz * sy * sx + cz * cy * cx};
}

// Rotations about one axis: by an angle in degrees, or by a half angle in
// radians.
inline Quat4 RotY(F4 degrees) {
  F4 s, c;
  SinCos(degrees * Splat(0.5f) * Splat(kDegToRad), s, c);
  return {Splat(0.0f), s, Splat(0.0f), c};
}
inline Quat4 RotZHalfAngle(F4 halfRadians) {
  F4 s, c;
  SinCos(halfRadians, s, c);
  return {Splat(0.0f), Splat(0.0f), s, c};
}
inline Quat4 RotZ(F4 degrees) { return RotZHalfAngle(degrees * Splat(0.5f) * Splat(kDegToRad)); }

// Spherical interpolation from a to b along the shorter arc; t is not
// clamped. A zero end gives the other end (the identity if both are zero),
// ends at |a.b| >= 1 give a, ends closer than |a.b| = 0.99 are blended
// linearly, and a blend of length zero gives the identity.
inline Quat4 Slerp(const Quat4& a, const Quat4& b, F4 t) {
  const F4 zero = Splat(0.0f), one = Splat(1.0f);
  const M4 aZero = Dot(a, a) == zero;
  const M4 bZero = Dot(b, b) == zero;
  F4 d = Dot(a, b);
  const M4 atEnd = (d >= one) | (d <= -one);
  const F4 flip = Select(d < zero, Splat(-0.0f), zero);
  const Quat4 c = {Xor(b.x, flip), Xor(b.y, flip), Xor(b.z, flip), Xor(b.w, flip)};
  d = Xor(d, flip);

  const M4 onArc = d < Splat(0.99f);
  const F4 theta = Acos(d);
  const F4 s = Sin(theta);
  const F4 wa = Select(onArc, Sin((one - t) * theta) / s, one - t);
  const F4 wb = Select(onArc, Sin(t * theta) / s, t);
  const Quat4 r = {wa * a.x + wb * c.x, wa * a.y + wb * c.y, wa * a.z + wb * c.z, wa * a.w + wb * c.w};
  const F4 rr = Dot(r, r);
  const F4 len = Sqrt(rr);
  Quat4 result = {r.x / len, r.y / len, r.z / len, r.w / len};

  const Quat4 identity = Splat(Quat{0.0f, 0.0f, 0.0f, 1.0f});
  result = Select(rr > zero, result, identity);
  result = Select(atEnd, a, result);
  result = Select(bZero, a, result);
  return Select(aZero, Select(bZero, identity, b), result);
}

}  // namespace wide
}  // namespace pose
}  // namespace ZEMBRA
