// Rotations and rigid transforms in double precision, for the SteamVR
// driver's hand skeleton and its placement on the wrist tracker. Header
// only, plain values, no state.
//
// Quaternions are (x, y, z, w), w last, Hamilton products, as everywhere in
// this system; SteamVR's own quaternion types put w first, so every crossing
// goes through the named-member conversions of the driver, never through a
// cast. A rotation is named by the frames it maps between: q_a_b turns
// coordinates in frame b into frame a.
#pragma once

#include <algorithm>
#include <cmath>

namespace ZEMBRA {
namespace rigid {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180.0;

struct Vec3 {
  double x = 0, y = 0, z = 0;
};

inline Vec3 operator+(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(double s, const Vec3& v) { return {s * v.x, s * v.y, s * v.z}; }
inline double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Length(const Vec3& v) { return std::sqrt(Dot(v, v)); }
// The zero vector stays zero.
inline Vec3 Unit(const Vec3& v) {
  const double n = Length(v);
  return n > 0 ? (1.0 / n) * v : Vec3{};
}

struct Quat {
  double x = 0, y = 0, z = 0, w = 1;
};

inline Quat operator*(const Quat& a, const Quat& b) {
  return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y + a.y * b.w + a.z * b.x - a.x * b.z,
          a.w * b.z + a.z * b.w + a.x * b.y - a.y * b.x, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}
inline Quat Conj(const Quat& q) { return {-q.x, -q.y, -q.z, q.w}; }
inline double Dot(const Quat& a, const Quat& b) { return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w; }
// A zero quaternion becomes the identity.
inline Quat Normalised(const Quat& q) {
  const double n = std::sqrt(Dot(q, q));
  if (!(n > 0)) return {};
  return {q.x / n, q.y / n, q.z / n, q.w / n};
}

// v turned by the unit rotation q.
inline Vec3 Rotate(const Quat& q, const Vec3& v) {
  const Vec3 u{q.x, q.y, q.z};
  const Vec3 t = 2.0 * Cross(u, v);
  return v + q.w * t + Cross(u, t);
}

// A turn of `degrees` about the unit axis, right-handed.
inline Quat AxisAngle(const Vec3& axis, double degrees) {
  const double h = 0.5 * degrees * kDegree;
  const double s = std::sin(h);
  return {axis.x * s, axis.y * s, axis.z * s, std::cos(h)};
}

// The angle of a rotation in degrees, 0..180.
inline double AngleDegrees(const Quat& q) {
  const Quat u = Normalised(q);
  return 2.0 * std::acos(std::min(1.0, std::fabs(u.w))) / kDegree;
}

// The angle between two orientations in degrees, 0..180.
inline double AngleBetween(const Quat& a, const Quat& b) { return AngleDegrees(Conj(Normalised(a)) * Normalised(b)); }

// Axis and angle (0..180 degrees) of a rotation; the axis of the identity
// is zero.
struct AxisTurn {
  Vec3 axis;
  double degrees = 0;
};
inline AxisTurn ToAxisTurn(const Quat& q) {
  Quat u = Normalised(q);
  if (u.w < 0) u = {-u.x, -u.y, -u.z, -u.w};
  return {Unit(Vec3{u.x, u.y, u.z}), AngleDegrees(u)};
}

// Turns about x, then the turned y, then the twice turned z:
// Rx(x) * Ry(y) * Rz(z), angles in degrees.
inline Quat FromXyzDegrees(double x, double y, double z) {
  return AxisAngle({1, 0, 0}, x) * AxisAngle({0, 1, 0}, y) * AxisAngle({0, 0, 1}, z);
}

// The rotation of a 3 x 3 rotation matrix m[row][column].
inline Quat FromMatrix(const double m[3][3]) {
  Quat q;
  const double trace = m[0][0] + m[1][1] + m[2][2];
  if (trace > 0) {
    const double s = 2.0 * std::sqrt(1.0 + trace);
    q = {(m[2][1] - m[1][2]) / s, (m[0][2] - m[2][0]) / s, (m[1][0] - m[0][1]) / s, 0.25 * s};
  } else if (m[0][0] > m[1][1] && m[0][0] > m[2][2]) {
    const double s = 2.0 * std::sqrt(1.0 + m[0][0] - m[1][1] - m[2][2]);
    q = {0.25 * s, (m[0][1] + m[1][0]) / s, (m[0][2] + m[2][0]) / s, (m[2][1] - m[1][2]) / s};
  } else if (m[1][1] > m[2][2]) {
    const double s = 2.0 * std::sqrt(1.0 + m[1][1] - m[0][0] - m[2][2]);
    q = {(m[0][1] + m[1][0]) / s, 0.25 * s, (m[1][2] + m[2][1]) / s, (m[0][2] - m[2][0]) / s};
  } else {
    const double s = 2.0 * std::sqrt(1.0 + m[2][2] - m[0][0] - m[1][1]);
    q = {(m[0][2] + m[2][0]) / s, (m[1][2] + m[2][1]) / s, 0.25 * s, (m[1][0] - m[0][1]) / s};
  }
  return Normalised(q);
}

// A rigid transform: a point p of the child frame lands at
// position + Rotate(rotation, p) in the parent frame.
struct Transform {
  Vec3 position;
  Quat rotation;
};

inline Transform operator*(const Transform& parent, const Transform& child) {
  return {parent.position + Rotate(parent.rotation, child.position), parent.rotation * child.rotation};
}
inline Transform Inverse(const Transform& t) {
  const Quat inverse = Conj(t.rotation);
  return {Rotate(inverse, -1.0 * t.position), inverse};
}

}  // namespace rigid
}  // namespace ZEMBRA
