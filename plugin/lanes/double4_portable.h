// The double lanes as four plain doubles, for processors without SSE2. Each
// operation is the same IEEE operation the vector build performs.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

namespace ZEMBRA_IMU {
namespace lanes {

struct D4 {
  double v[4];
};
struct M4 {
  bool v[4];
};

namespace detail {

inline uint64_t Bits(double d) {
  uint64_t u;
  std::memcpy(&u, &d, sizeof u);
  return u;
}
inline double FromBits(uint64_t u) {
  double d;
  std::memcpy(&d, &u, sizeof d);
  return d;
}
template <typename Op>
inline D4 Map(D4 a, D4 b, Op op) {
  D4 r;
  for (int i = 0; i < 4; ++i) r.v[i] = op(a.v[i], b.v[i]);
  return r;
}
template <typename Op>
inline D4 MapBits(D4 a, D4 b, Op op) {
  D4 r;
  for (int i = 0; i < 4; ++i) r.v[i] = FromBits(op(Bits(a.v[i]), Bits(b.v[i])));
  return r;
}
template <typename Op>
inline M4 Compare(D4 a, D4 b, Op op) {
  M4 r;
  for (int i = 0; i < 4; ++i) r.v[i] = op(a.v[i], b.v[i]);
  return r;
}

}  // namespace detail

inline D4 Splat(double a) { return {{a, a, a, a}}; }
inline D4 Set(double l0, double l1, double l2, double l3) { return {{l0, l1, l2, l3}}; }
inline D4 Load(const double* p) { return {{p[0], p[1], p[2], p[3]}}; }
inline void Store(D4 a, double* p) {
  for (int i = 0; i < 4; ++i) p[i] = a.v[i];
}
inline double Lane0(D4 a) { return a.v[0]; }

inline D4 operator+(D4 a, D4 b) { return detail::Map(a, b, [](double x, double y) { return x + y; }); }
inline D4 operator-(D4 a, D4 b) { return detail::Map(a, b, [](double x, double y) { return x - y; }); }
inline D4 operator*(D4 a, D4 b) { return detail::Map(a, b, [](double x, double y) { return x * y; }); }
inline D4 operator/(D4 a, D4 b) { return detail::Map(a, b, [](double x, double y) { return x / y; }); }
inline D4 Sqrt(D4 a) { return detail::Map(a, a, [](double x, double) { return std::sqrt(x); }); }

inline D4 And(D4 a, D4 b) { return detail::MapBits(a, b, [](uint64_t x, uint64_t y) { return x & y; }); }
inline D4 AndNot(D4 a, D4 b) { return detail::MapBits(a, b, [](uint64_t x, uint64_t y) { return ~x & y; }); }
inline D4 Xor(D4 a, D4 b) { return detail::MapBits(a, b, [](uint64_t x, uint64_t y) { return x ^ y; }); }

inline M4 operator<(D4 a, D4 b) { return detail::Compare(a, b, [](double x, double y) { return x < y; }); }
inline M4 operator<=(D4 a, D4 b) { return detail::Compare(a, b, [](double x, double y) { return x <= y; }); }
inline M4 operator>(D4 a, D4 b) { return detail::Compare(a, b, [](double x, double y) { return x > y; }); }
inline M4 operator>=(D4 a, D4 b) { return detail::Compare(a, b, [](double x, double y) { return x >= y; }); }
inline M4 operator==(D4 a, D4 b) { return detail::Compare(a, b, [](double x, double y) { return x == y; }); }

inline M4 operator&(M4 a, M4 b) { return {{a.v[0] && b.v[0], a.v[1] && b.v[1], a.v[2] && b.v[2], a.v[3] && b.v[3]}}; }
inline M4 operator|(M4 a, M4 b) { return {{a.v[0] || b.v[0], a.v[1] || b.v[1], a.v[2] || b.v[2], a.v[3] || b.v[3]}}; }
inline M4 operator!(M4 a) { return {{!a.v[0], !a.v[1], !a.v[2], !a.v[3]}}; }
inline int LaneBits(M4 a) { return int(a.v[0]) | int(a.v[1]) << 1 | int(a.v[2]) << 2 | int(a.v[3]) << 3; }

inline D4 Select(M4 m, D4 a, D4 b) {
  D4 r;
  for (int i = 0; i < 4; ++i) r.v[i] = m.v[i] ? a.v[i] : b.v[i];
  return r;
}

template <int bit>
inline M4 BitSet(D4 a) {
  static_assert(bit >= 0 && bit < 64, "bit");
  M4 r;
  for (int i = 0; i < 4; ++i) r.v[i] = ((detail::Bits(a.v[i]) >> bit) & 1u) != 0;
  return r;
}
inline M4 SignBitSet(D4 a) { return BitSet<63>(a); }

inline D4 HighWord(D4 a) {
  D4 r;
  for (int i = 0; i < 4; ++i) r.v[i] = detail::FromBits(detail::Bits(a.v[i]) & 0xFFFFFFFF00000000u);
  return r;
}

}  // namespace lanes
}  // namespace ZEMBRA_IMU
