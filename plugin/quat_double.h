// Double-precision quaternion building blocks of the plug-in's pose variant.
//
// Quaternions are (x, y, z, w), w last, Hamilton products. The factors are
// the single-precision constants of the driver's engine widened to double,
// so both engines agree on the angles they feed each other's users. The
// build forbids fused multiply-add contraction, so every build gives the
// same bits.
#pragma once

#include <cmath>

namespace ZEMBRA_IMU {

struct Quatd {
  double x, y, z, w;
};

constexpr Quatd kIdentityd = {0.0, 0.0, 0.0, 1.0};
constexpr double kRadToDegd = 57.295780181884766;   // 57.29578f widened
constexpr double kDegToRadd = 0.01745329238474369;  // 0.017453292f widened

inline Quatd Mul(const Quatd& a, const Quatd& b) {
  return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
          a.w * b.y + a.y * b.w + a.z * b.x - a.x * b.z,
          a.w * b.z + a.z * b.w + a.x * b.y - a.y * b.x,
          a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

inline double Dot(const Quatd& a, const Quatd& b) { return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w; }

// (-x, -y, -z, w) / |q|^2; all zero for the zero quaternion.
inline Quatd Inverse(const Quatd& q) {
  const double n = Dot(q, q);
  if (n > 0.0) return {-q.x / n, -q.y / n, -q.z / n, q.w / n};
  return {0.0, 0.0, 0.0, 0.0};
}

// b seen from a.
inline Quatd Rel(const Quatd& a, const Quatd& b) { return Mul(Inverse(a), b); }

// q / |q|; the zero quaternion (and only it) is returned unchanged.
inline Quatd Normalise(const Quatd& q) {
  const double n = Dot(q, q);
  if (!(n > 0.0)) return q;
  const double len = std::sqrt(n);
  return {q.x / len, q.y / len, q.z / len, q.w / len};
}

// Angles in degrees of the decomposition q = Ry(ey) * Rx(ex) * Rz(ez) of a
// unit quaternion. There is no pole branch: ex is asin of its sine as is,
// and the pose variant never uses ex. Each angle is its own function so the
// per-packet path evaluates only the ones it needs.
inline double EulerX(const Quatd& q) { return std::asin(2.0 * (q.x * q.w - q.z * q.y)) * kRadToDegd; }
inline double EulerY(const Quatd& q) {
  return std::atan2(2.0 * (q.z * q.x + q.w * q.y), 1.0 - 2.0 * (q.x * q.x + q.y * q.y)) * kRadToDegd;
}
inline double EulerZ(const Quatd& q) {
  return std::atan2(2.0 * (q.x * q.y + q.w * q.z), 1.0 - 2.0 * (q.z * q.z + q.x * q.x)) * kRadToDegd;
}

// Ry(ey) * Rx(ex) * Rz(ez), angles in degrees: the inverse of the Euler
// decomposition above.
inline Quatd FromEuler(double ex, double ey, double ez) {
  const double hx = ex * kDegToRadd * 0.5, hy = ey * kDegToRadd * 0.5, hz = ez * kDegToRadd * 0.5;
  const double sx = std::sin(hx), cx = std::cos(hx);
  const double sy = std::sin(hy), cy = std::cos(hy);
  const double sz = std::sin(hz), cz = std::cos(hz);
  return {cy * sx * cz + sy * cx * sz, sy * cx * cz - cy * sx * sz, cy * cx * sz - sy * sx * cz,
          cy * cx * cz + sy * sx * sz};
}

// FromEuler(0, ey, ez) = Ry(ey) * Rz(ez) without the terms that vanish.
inline Quatd FromEulerYZ(double ey, double ez) {
  const double hy = ey * kDegToRadd * 0.5, hz = ez * kDegToRadd * 0.5;
  const double sy = std::sin(hy), cy = std::cos(hy);
  const double sz = std::sin(hz), cz = std::cos(hz);
  return {sy * sz, sy * cz, cy * sz, cy * cz};
}

inline Quatd RotY(double degrees) {
  const double h = degrees * 0.5 * kDegToRadd;
  return {0.0, std::sin(h), 0.0, std::cos(h)};
}
inline Quatd RotZ(double degrees) {
  const double h = degrees * 0.5 * kDegToRadd;
  return {0.0, 0.0, std::sin(h), std::cos(h)};
}

// The great arc from a to b, set up once so that several points on it (the
// thumb takes two) share the arc cosine and the sine of the arc.
class SlerpArc {
 public:
  // Below this |a.b| the arc is followed on the sphere; at or above it the
  // two ends are so close (or opposite) that a straight blend is used.
  static constexpr double kLinearAbove = 0.9999999999999998;  // 1 - 2^-52

  SlerpArc(const Quatd& a, const Quatd& b) : a_(a), b_(b) {
    d_ = Dot(a, b);
    const double ad = std::fabs(d_);
    linear_ = ad >= kLinearAbove;
    if (!linear_) {
      theta_ = std::acos(ad);
      sinTheta_ = std::sin(theta_);
    }
  }

  // wa * a + wb * b, not normalised; t is not clamped. When a and b lie on
  // opposite hemispheres wb is negated, which takes the shorter arc.
  Quatd At(double t) const {
    double wa, wb;
    if (linear_) {
      wa = 1.0 - t;
      wb = t;
    } else {
      wa = std::sin((1.0 - t) * theta_) / sinTheta_;
      wb = std::sin(t * theta_) / sinTheta_;
    }
    if (d_ < 0.0) wb = -wb;
    return {wa * a_.x + wb * b_.x, wa * a_.y + wb * b_.y, wa * a_.z + wb * b_.z, wa * a_.w + wb * b_.w};
  }

 private:
  Quatd a_, b_;
  double d_ = 0.0;
  bool linear_ = true;
  double theta_ = 0.0;
  double sinTheta_ = 1.0;
};

inline Quatd Slerp(const Quatd& a, const Quatd& b, double t) { return SlerpArc(a, b).At(t); }

}  // namespace ZEMBRA_IMU
