// The lanes as four plain floats, for processors without SSE2. Each
// operation is the same IEEE operation the vector build performs.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

namespace ZEMBRA {
namespace pose {
namespace lanes {

struct F4 {
  float v[4];
};
struct M4 {
  bool v[4];
};

namespace detail {

inline uint32_t Bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}
inline float FromBits(uint32_t u) {
  float f;
  std::memcpy(&f, &u, sizeof f);
  return f;
}
template <typename Op>
inline F4 Map(F4 a, F4 b, Op op) {
  F4 r;
  for (int i = 0; i < 4; ++i) r.v[i] = op(a.v[i], b.v[i]);
  return r;
}
template <typename Op>
inline F4 MapBits(F4 a, F4 b, Op op) {
  F4 r;
  for (int i = 0; i < 4; ++i) r.v[i] = FromBits(op(Bits(a.v[i]), Bits(b.v[i])));
  return r;
}
template <typename Op>
inline M4 Compare(F4 a, F4 b, Op op) {
  M4 r;
  for (int i = 0; i < 4; ++i) r.v[i] = op(a.v[i], b.v[i]);
  return r;
}

}  // namespace detail

inline F4 Splat(float a) { return {{a, a, a, a}}; }
inline F4 Set(float l0, float l1, float l2, float l3) { return {{l0, l1, l2, l3}}; }
inline F4 Load(const float* p) { return {{p[0], p[1], p[2], p[3]}}; }
inline void Store(F4 a, float* p) {
  for (int i = 0; i < 4; ++i) p[i] = a.v[i];
}
inline float Lane0(F4 a) { return a.v[0]; }

inline F4 operator+(F4 a, F4 b) { return detail::Map(a, b, [](float x, float y) { return x + y; }); }
inline F4 operator-(F4 a, F4 b) { return detail::Map(a, b, [](float x, float y) { return x - y; }); }
inline F4 operator*(F4 a, F4 b) { return detail::Map(a, b, [](float x, float y) { return x * y; }); }
inline F4 operator/(F4 a, F4 b) { return detail::Map(a, b, [](float x, float y) { return x / y; }); }
inline F4 Sqrt(F4 a) { return detail::Map(a, a, [](float x, float) { return std::sqrt(x); }); }
inline F4 Min(F4 a, F4 b) { return detail::Map(a, b, [](float x, float y) { return x < y ? x : y; }); }
inline F4 Max(F4 a, F4 b) { return detail::Map(a, b, [](float x, float y) { return x > y ? x : y; }); }

inline F4 And(F4 a, F4 b) { return detail::MapBits(a, b, [](uint32_t x, uint32_t y) { return x & y; }); }
inline F4 Or(F4 a, F4 b) { return detail::MapBits(a, b, [](uint32_t x, uint32_t y) { return x | y; }); }
inline F4 AndNot(F4 a, F4 b) { return detail::MapBits(a, b, [](uint32_t x, uint32_t y) { return ~x & y; }); }
inline F4 FlipSign(F4 a, F4 s) { return detail::MapBits(a, s, [](uint32_t x, uint32_t y) { return x ^ y; }); }

inline M4 operator<(F4 a, F4 b) { return detail::Compare(a, b, [](float x, float y) { return x < y; }); }
inline M4 operator<=(F4 a, F4 b) { return detail::Compare(a, b, [](float x, float y) { return x <= y; }); }
inline M4 operator>(F4 a, F4 b) { return detail::Compare(a, b, [](float x, float y) { return x > y; }); }
inline M4 operator>=(F4 a, F4 b) { return detail::Compare(a, b, [](float x, float y) { return x >= y; }); }
inline M4 operator==(F4 a, F4 b) { return detail::Compare(a, b, [](float x, float y) { return x == y; }); }

inline M4 operator&(M4 a, M4 b) { return {{a.v[0] && b.v[0], a.v[1] && b.v[1], a.v[2] && b.v[2], a.v[3] && b.v[3]}}; }
inline M4 operator|(M4 a, M4 b) { return {{a.v[0] || b.v[0], a.v[1] || b.v[1], a.v[2] || b.v[2], a.v[3] || b.v[3]}}; }
inline M4 operator!(M4 a) { return {{!a.v[0], !a.v[1], !a.v[2], !a.v[3]}}; }
inline bool Any(M4 a) { return a.v[0] || a.v[1] || a.v[2] || a.v[3]; }
inline bool All(M4 a) { return a.v[0] && a.v[1] && a.v[2] && a.v[3]; }
inline bool Lane0(M4 a) { return a.v[0]; }

inline F4 Select(M4 m, F4 a, F4 b) {
  F4 r;
  for (int i = 0; i < 4; ++i) r.v[i] = m.v[i] ? a.v[i] : b.v[i];
  return r;
}

inline M4 SignBitSet(F4 a) {
  M4 r;
  for (int i = 0; i < 4; ++i) r.v[i] = (detail::Bits(a.v[i]) >> 31) != 0;
  return r;
}

template <int bit>
inline M4 BitSet(F4 a) {
  static_assert(bit >= 0 && bit < 32, "bit");
  M4 r;
  for (int i = 0; i < 4; ++i) r.v[i] = ((detail::Bits(a.v[i]) >> bit) & 1u) != 0;
  return r;
}

}  // namespace lanes
}  // namespace pose
}  // namespace ZEMBRA
