// Double-precision rotations for the simulated glove.
//
// The simulator composes the hand in double precision and rounds to the
// wire's float32 only when it writes a record, so the driver's
// single-precision pipeline is checked against an independent reference.
// Quaternions are (x, y, z, w), w last, Hamilton products.
#pragma once

#include <cmath>

namespace ZEMBRA {
namespace sim {

struct QuatD {
  double x, y, z, w;
};

constexpr QuatD kIdentityD = {0.0, 0.0, 0.0, 1.0};

inline QuatD Mul(const QuatD& a, const QuatD& b) {
  return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y + a.y * b.w + a.z * b.x - a.x * b.z,
          a.w * b.z + a.z * b.w + a.x * b.y - a.y * b.x, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

inline QuatD Conj(const QuatD& q) { return {-q.x, -q.y, -q.z, q.w}; }

inline double Norm2(const QuatD& q) { return q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w; }

// Multiplicative inverse; the wire constants are unit only to float
// precision, so dividing by the norm keeps the encoding exact.
inline QuatD Inverse(const QuatD& q) {
  const double n = Norm2(q);
  return {-q.x / n, -q.y / n, -q.z / n, q.w / n};
}

inline QuatD Normalised(const QuatD& q) {
  const double n = std::sqrt(Norm2(q));
  return {q.x / n, q.y / n, q.z / n, q.w / n};
}

constexpr double kPi = 3.14159265358979323846;

inline QuatD RotXD(double degrees) {
  const double h = degrees * kPi / 360.0;
  return {std::sin(h), 0.0, 0.0, std::cos(h)};
}

inline QuatD RotYD(double degrees) {
  const double h = degrees * kPi / 360.0;
  return {0.0, std::sin(h), 0.0, std::cos(h)};
}

inline QuatD RotZD(double degrees) {
  const double h = degrees * kPi / 360.0;
  return {0.0, 0.0, std::sin(h), std::cos(h)};
}

}  // namespace sim
}  // namespace ZEMBRA
