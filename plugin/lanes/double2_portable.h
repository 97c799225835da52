// The double lanes as two plain doubles, for processors without SSE2. Each
// operation is the same IEEE operation the vector build performs.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

namespace ZEMBRA_IMU {
namespace lanes {

struct D2 {
  double v[2];
};
struct M2 {
  bool v[2];
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
inline D2 Map(D2 a, D2 b, Op op) {
  return {{op(a.v[0], b.v[0]), op(a.v[1], b.v[1])}};
}
template <typename Op>
inline D2 MapBits(D2 a, D2 b, Op op) {
  return {{FromBits(op(Bits(a.v[0]), Bits(b.v[0]))), FromBits(op(Bits(a.v[1]), Bits(b.v[1])))}};
}
template <typename Op>
inline M2 Compare(D2 a, D2 b, Op op) {
  return {{op(a.v[0], b.v[0]), op(a.v[1], b.v[1])}};
}

}  // namespace detail

inline D2 Splat(double a) { return {{a, a}}; }
inline D2 Set(double l0, double l1) { return {{l0, l1}}; }
inline double Lane0(D2 a) { return a.v[0]; }
inline double Lane1(D2 a) { return a.v[1]; }

inline D2 operator+(D2 a, D2 b) { return detail::Map(a, b, [](double x, double y) { return x + y; }); }
inline D2 operator-(D2 a, D2 b) { return detail::Map(a, b, [](double x, double y) { return x - y; }); }
inline D2 operator*(D2 a, D2 b) { return detail::Map(a, b, [](double x, double y) { return x * y; }); }
inline D2 operator/(D2 a, D2 b) { return detail::Map(a, b, [](double x, double y) { return x / y; }); }
inline D2 Sqrt(D2 a) { return detail::Map(a, a, [](double x, double) { return std::sqrt(x); }); }

inline D2 And(D2 a, D2 b) { return detail::MapBits(a, b, [](uint64_t x, uint64_t y) { return x & y; }); }
inline D2 AndNot(D2 a, D2 b) { return detail::MapBits(a, b, [](uint64_t x, uint64_t y) { return ~x & y; }); }
inline D2 Xor(D2 a, D2 b) { return detail::MapBits(a, b, [](uint64_t x, uint64_t y) { return x ^ y; }); }

inline M2 operator<(D2 a, D2 b) { return detail::Compare(a, b, [](double x, double y) { return x < y; }); }
inline M2 operator<=(D2 a, D2 b) { return detail::Compare(a, b, [](double x, double y) { return x <= y; }); }
inline M2 operator>(D2 a, D2 b) { return detail::Compare(a, b, [](double x, double y) { return x > y; }); }
inline M2 operator>=(D2 a, D2 b) { return detail::Compare(a, b, [](double x, double y) { return x >= y; }); }
inline M2 operator==(D2 a, D2 b) { return detail::Compare(a, b, [](double x, double y) { return x == y; }); }

inline M2 operator&(M2 a, M2 b) { return {{a.v[0] && b.v[0], a.v[1] && b.v[1]}}; }
inline M2 operator|(M2 a, M2 b) { return {{a.v[0] || b.v[0], a.v[1] || b.v[1]}}; }
inline M2 operator!(M2 a) { return {{!a.v[0], !a.v[1]}}; }
inline bool Any(M2 a) { return a.v[0] || a.v[1]; }
inline bool All(M2 a) { return a.v[0] && a.v[1]; }
inline bool Lane0(M2 a) { return a.v[0]; }
inline bool Lane1(M2 a) { return a.v[1]; }
inline M2 Mask(bool l0, bool l1) { return {{l0, l1}}; }

inline D2 Select(M2 m, D2 a, D2 b) { return {{m.v[0] ? a.v[0] : b.v[0], m.v[1] ? a.v[1] : b.v[1]}}; }

template <int bit>
inline M2 BitSet(D2 a) {
  static_assert(bit >= 0 && bit < 64, "bit");
  return {{((detail::Bits(a.v[0]) >> bit) & 1u) != 0, ((detail::Bits(a.v[1]) >> bit) & 1u) != 0}};
}
inline M2 SignBitSet(D2 a) { return BitSet<63>(a); }

inline D2 HighWord(D2 a) {
  constexpr uint64_t kHigh = 0xFFFFFFFF00000000u;
  return {{detail::FromBits(detail::Bits(a.v[0]) & kHigh), detail::FromBits(detail::Bits(a.v[1]) & kHigh)}};
}

}  // namespace lanes
}  // namespace ZEMBRA_IMU
