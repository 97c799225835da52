#include "driver/pose/quat_math.h"

#include <cmath>

namespace ZEMBRA {
namespace pose {

Quat Mul(const Quat& a, const Quat& b) {
  return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
          a.w * b.y + a.y * b.w + a.z * b.x - a.x * b.z,
          a.w * b.z + a.z * b.w + a.x * b.y - a.y * b.x,
          a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

float Dot(const Quat& a, const Quat& b) { return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w; }

Quat Normalise(const Quat& q) {
  const float inv = 1.0f / std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
  return {q.x * inv, q.y * inv, q.z * inv, q.w * inv};
}

Quat Conj(const Quat& q) { return {-q.x, -q.y, -q.z, q.w}; }

Quat Rel(const Quat& a, const Quat& b) { return Mul(Conj(Normalise(a)), b); }

Euler ToEuler(const Quat& q) {
  const float x = q.x, y = q.y, z = q.z, w = q.w;
  const float n = x * x + y * y + z * z + w * w;
  const float t = x * w - z * y;
  if (t > 0.4995f * n) return {1.5707964f * kRadToDeg, 2.0f * std::atan2(y, x) * kRadToDeg, 0.0f};
  if (t < -0.4995f * n) return {-1.5707964f * kRadToDeg, -2.0f * std::atan2(y, x) * kRadToDeg, 0.0f};
  return {std::asin(2.0f * t) * kRadToDeg,
          std::atan2(2.0f * (z * x + w * y), 1.0f - 2.0f * (x * x + y * y)) * kRadToDeg,
          std::atan2(2.0f * (x * y + w * z), 1.0f - 2.0f * (z * z + x * x)) * kRadToDeg};
}

Quat FromEuler(float ex, float ey, float ez) {
  const float hx = ex * kDegToRad * 0.5f;
  const float hy = ey * kDegToRad * 0.5f;
  const float hz = ez * kDegToRad * 0.5f;
  const float sx = std::sin(hx), cx = std::cos(hx);
  const float sy = std::sin(hy), cy = std::cos(hy);
  const float sz = std::sin(hz), cz = std::cos(hz);
  return {cz * cy * sx - sz * sy * cx,
          sz * cy * sx + cz * sy * cx,
          sz * cy * cx - cz * sy * sx,
          sz * sy * sx + cz * cy * cx};
}

float RelY(const Quat& a, const Quat& b) { return ToEuler(Rel(a, b)).ey; }

float RelZ(const Quat& a, const Quat& b) { return ToEuler(Rel(a, b)).ez; }

Quat RotY(float degrees) {
  const float h = degrees * 0.5f * kDegToRad;
  return {0.0f, std::sin(h), 0.0f, std::cos(h)};
}

Quat RotZ(float degrees) { return RotZHalfAngle(degrees * 0.5f * kDegToRad); }

Quat RotZHalfAngle(float halfRadians) { return {0.0f, 0.0f, std::sin(halfRadians), std::cos(halfRadians)}; }

Quat Slerp(const Quat& a, const Quat& b, float t) {
  const float aa = Dot(a, a);
  const float bb = Dot(b, b);
  if (aa == 0.0f) return bb == 0.0f ? kIdentity : b;
  if (bb == 0.0f) return a;
  float d = Dot(a, b);
  if (d >= 1.0f || d <= -1.0f) return a;
  Quat c = b;
  if (d < 0.0f) {
    c = {-b.x, -b.y, -b.z, -b.w};
    d = -d;
  }
  float wa, wb;
  if (d < 0.99f) {
    const float theta = std::acos(d);
    const float s = std::sin(theta);
    wa = std::sin((1.0f - t) * theta) / s;
    wb = std::sin(t * theta) / s;
  } else {
    wa = 1.0f - t;
    wb = t;
  }
  const Quat r = {wa * a.x + wb * c.x, wa * a.y + wb * c.y, wa * a.z + wb * c.z, wa * a.w + wb * c.w};
  const float rr = Dot(r, r);
  if (!(rr > 0.0f)) return kIdentity;
  const float len = std::sqrt(rr);
  return {r.x / len, r.y / len, r.z / len, r.w / len};
}

}  // namespace pose
}  // namespace ZEMBRA
