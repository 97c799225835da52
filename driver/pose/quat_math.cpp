#include "driver/pose/quat_math.h"

#include <cmath>

namespace ZEMBRA {
namespace pose {

Euler ToEuler(const Quat& q) {
  using namespace euler_detail;
  const Pole pole = PoleOf(q);
  if (pole == Pole::North) return {1.5707964f * kRadToDeg, PoleY(q, pole), 0.0f};
  if (pole == Pole::South) return {-1.5707964f * kRadToDeg, PoleY(q, pole), 0.0f};
  const float x = q.x, y = q.y, z = q.z, w = q.w;
  const float t = x * w - z * y;
  return {std::asin(2.0f * t) * kRadToDeg, GeneralY(q), GeneralZ(q)};
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

Quat FromEulerYZ(float ey, float ez) {
  // sin(0) and cos(0) are exactly 0 and 1, so the products below are those
  // of FromEuler(0, ey, ez).
  const float hy = ey * kDegToRad * 0.5f;
  const float hz = ez * kDegToRad * 0.5f;
  const float sx = 0.0f, cx = 1.0f;
  const float sy = std::sin(hy), cy = std::cos(hy);
  const float sz = std::sin(hz), cz = std::cos(hz);
  return {cz * cy * sx - sz * sy * cx,
          sz * cy * sx + cz * sy * cx,
          sz * cy * cx - cz * sy * sx,
          sz * sy * sx + cz * cy * cx};
}

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
