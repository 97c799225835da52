// Double-precision rotations for checking the single-precision pose engine.
// The Euler angles here come from the rotation matrix, not from the engine's
// shortcut formulas, so the two can disagree when one of them is wrong.
#pragma once

#include <cmath>

#include "zembra/Pose.h"

namespace ZEMBRA {
namespace testsupport {

struct DQuat {
  double x, y, z, w;
};

constexpr double kPi = 3.14159265358979323846;
inline double Rad(double degrees) { return degrees * kPi / 180.0; }
inline double Deg(double radians) { return radians * 180.0 / kPi; }

inline DQuat ToD(const Quat& q) { return {q.x, q.y, q.z, q.w}; }
inline Quat ToF(const DQuat& q) { return {float(q.x), float(q.y), float(q.z), float(q.w)}; }

inline DQuat operator*(const DQuat& a, const DQuat& b) {
  return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
          a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

inline DQuat Inverse(const DQuat& q) { return {-q.x, -q.y, -q.z, q.w}; }
inline double Dot(const DQuat& a, const DQuat& b) { return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w; }
inline double Norm(const DQuat& q) { return std::sqrt(Dot(q, q)); }
inline DQuat Unit(const DQuat& q) {
  const double n = Norm(q);
  return {q.x / n, q.y / n, q.z / n, q.w / n};
}

inline DQuat AboutX(double degrees) { return {std::sin(Rad(degrees) / 2), 0, 0, std::cos(Rad(degrees) / 2)}; }
inline DQuat AboutY(double degrees) { return {0, std::sin(Rad(degrees) / 2), 0, std::cos(Rad(degrees) / 2)}; }
inline DQuat AboutZ(double degrees) { return {0, 0, std::sin(Rad(degrees) / 2), std::cos(Rad(degrees) / 2)}; }
constexpr DQuat kDIdentity = {0, 0, 0, 1};

// Angle in degrees of the rotation taking a to b (sign of the quaternion
// ignored).
inline double AngleBetween(const DQuat& a, const DQuat& b) {
  const double d = std::fabs(Dot(Unit(a), Unit(b)));
  return Deg(2.0 * std::acos(std::fmin(1.0, d)));
}

// Angles of q = Ry(ey) * Rx(ex) * Rz(ez), read off the rotation matrix:
// row 1 of Ry*Rx*Rz is (cos ex sin ez, cos ex cos ez, -sin ex) and its
// column 2 is (sin ey cos ex, -sin ex, cos ey cos ex).
struct DEuler {
  double ex, ey, ez;
};
inline DEuler EulerYXZ(const DQuat& in) {
  const DQuat q = Unit(in);
  const double r10 = 2 * (q.x * q.y + q.z * q.w);
  const double r11 = 1 - 2 * (q.x * q.x + q.z * q.z);
  const double r12 = 2 * (q.y * q.z - q.x * q.w);
  const double r02 = 2 * (q.x * q.z + q.y * q.w);
  const double r22 = 1 - 2 * (q.x * q.x + q.y * q.y);
  return {Deg(std::asin(std::fmax(-1.0, std::fmin(1.0, -r12)))), Deg(std::atan2(r02, r22)), Deg(std::atan2(r10, r11))};
}

// b seen from a.
inline DQuat Relative(const DQuat& a, const DQuat& b) { return Inverse(Unit(a)) * b; }

inline DQuat Slerp(const DQuat& a, const DQuat& bIn, double t) {
  DQuat b = bIn;
  double d = Dot(a, b);
  if (d < 0) {
    b = {-b.x, -b.y, -b.z, -b.w};
    d = -d;
  }
  const double theta = std::acos(std::fmin(1.0, d));
  if (theta < 1e-12) return a;
  const double wa = std::sin((1 - t) * theta) / std::sin(theta);
  const double wb = std::sin(t * theta) / std::sin(theta);
  return Unit({wa * a.x + wb * b.x, wa * a.y + wb * b.y, wa * a.z + wb * b.z, wa * a.w + wb * b.w});
}

// The glove's sensor frame and the hand model's frame differ by a fixed
// orthogonal map J = k * (-(y + w), w - y, z - x, -(x + z)), k = 1/sqrt(2).
// These give J for a sensor reading and the sensor reading for a wanted J.
inline DQuat JointOfSensor(const DQuat& s) {
  const double k = std::sqrt(0.5);
  return {-(s.y + s.w) * k, (s.w - s.y) * k, (s.z - s.x) * k, -(s.x + s.z) * k};
}
inline DQuat SensorForJoint(const DQuat& j) {
  const double k = std::sqrt(0.5);
  return {-(j.z + j.w) * k, -(j.x + j.y) * k, (j.z - j.w) * k, (j.y - j.x) * k};
}
inline Quat SensorForJointF(const DQuat& j) { return ToF(SensorForJoint(Unit(j))); }

}  // namespace testsupport
}  // namespace ZEMBRA
