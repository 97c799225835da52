// Four lanes of plain numbers, for processors without the vector
// instructions the pose engines use (SSE2 on x86-64). Lanes<float> stands
// in for four single-precision lanes, Lanes<double> for four double ones;
// each operation is the same IEEE operation per lane that the vector build
// performs, so both give the same bits.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "lanes/force_inline.h"

namespace ZEMBRA {
namespace lanes {
namespace portable {

template <typename T>
struct Lanes {
  T v[4];
};
struct Mask {
  bool v[4];
};

namespace detail {

template <typename T>
struct BitsOf;
template <>
struct BitsOf<float> {
  using type = uint32_t;
};
template <>
struct BitsOf<double> {
  using type = uint64_t;
};

template <typename T>
ZEMBRA_FORCE_INLINE typename BitsOf<T>::type Bits(T value) {
  typename BitsOf<T>::type bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}
template <typename T>
ZEMBRA_FORCE_INLINE T FromBits(typename BitsOf<T>::type bits) {
  T value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}
template <typename T, typename Op>
ZEMBRA_FORCE_INLINE Lanes<T> Map(Lanes<T> a, Lanes<T> b, Op op) {
  Lanes<T> r;
  for (int i = 0; i < 4; ++i) r.v[i] = op(a.v[i], b.v[i]);
  return r;
}
template <typename T, typename Op>
ZEMBRA_FORCE_INLINE Lanes<T> MapBits(Lanes<T> a, Lanes<T> b, Op op) {
  Lanes<T> r;
  for (int i = 0; i < 4; ++i) r.v[i] = FromBits<T>(op(Bits(a.v[i]), Bits(b.v[i])));
  return r;
}
template <typename T, typename Op>
ZEMBRA_FORCE_INLINE Mask Compare(Lanes<T> a, Lanes<T> b, Op op) {
  Mask r;
  for (int i = 0; i < 4; ++i) r.v[i] = op(a.v[i], b.v[i]);
  return r;
}
template <typename Op>
ZEMBRA_FORCE_INLINE Mask Combine(Mask a, Mask b, Op op) {
  Mask r;
  for (int i = 0; i < 4; ++i) r.v[i] = op(a.v[i], b.v[i]);
  return r;
}

}  // namespace detail

template <typename T>
ZEMBRA_FORCE_INLINE Lanes<T> Splat(T a) {
  return {{a, a, a, a}};
}
template <typename T>
ZEMBRA_FORCE_INLINE Lanes<T> Set(T l0, T l1, T l2, T l3) {
  return {{l0, l1, l2, l3}};
}
template <typename T>
ZEMBRA_FORCE_INLINE Lanes<T> Load(const T* p) {
  return {{p[0], p[1], p[2], p[3]}};
}
template <typename T>
ZEMBRA_FORCE_INLINE void Store(Lanes<T> a, T* p) {
  for (int i = 0; i < 4; ++i) p[i] = a.v[i];
}
template <typename T>
ZEMBRA_FORCE_INLINE T Lane0(Lanes<T> a) {
  return a.v[0];
}

template <typename T>
ZEMBRA_FORCE_INLINE Lanes<T> operator+(Lanes<T> a, Lanes<T> b) {
  return detail::Map(a, b, [](T x, T y) { return x + y; });
}
template <typename T>
ZEMBRA_FORCE_INLINE Lanes<T> operator-(Lanes<T> a, Lanes<T> b) {
  return detail::Map(a, b, [](T x, T y) { return x - y; });
}
template <typename T>
ZEMBRA_FORCE_INLINE Lanes<T> operator*(Lanes<T> a, Lanes<T> b) {
  return detail::Map(a, b, [](T x, T y) { return x * y; });
}
template <typename T>
ZEMBRA_FORCE_INLINE Lanes<T> operator/(Lanes<T> a, Lanes<T> b) {
  return detail::Map(a, b, [](T x, T y) { return x / y; });
}
template <typename T>
ZEMBRA_FORCE_INLINE Lanes<T> Sqrt(Lanes<T> a) {
  return detail::Map(a, a, [](T x, T) { return std::sqrt(x); });
}
// a < b ? a : b and a > b ? a : b, lane by lane (b when either is NaN).
template <typename T>
ZEMBRA_FORCE_INLINE Lanes<T> Min(Lanes<T> a, Lanes<T> b) {
  return detail::Map(a, b, [](T x, T y) { return x < y ? x : y; });
}
template <typename T>
ZEMBRA_FORCE_INLINE Lanes<T> Max(Lanes<T> a, Lanes<T> b) {
  return detail::Map(a, b, [](T x, T y) { return x > y ? x : y; });
}

// Bitwise operations on the lanes' bits.
template <typename T>
ZEMBRA_FORCE_INLINE Lanes<T> And(Lanes<T> a, Lanes<T> b) {
  return detail::MapBits(a, b, [](auto x, auto y) { return x & y; });
}
template <typename T>
ZEMBRA_FORCE_INLINE Lanes<T> Or(Lanes<T> a, Lanes<T> b) {
  return detail::MapBits(a, b, [](auto x, auto y) { return x | y; });
}
template <typename T>
ZEMBRA_FORCE_INLINE Lanes<T> AndNot(Lanes<T> a, Lanes<T> b) {  // ~a & b
  return detail::MapBits(a, b, [](auto x, auto y) { return decltype(x)(~x & y); });
}
template <typename T>
ZEMBRA_FORCE_INLINE Lanes<T> Xor(Lanes<T> a, Lanes<T> b) {
  return detail::MapBits(a, b, [](auto x, auto y) { return x ^ y; });
}

// Ordered comparisons: false in a lane where either side is NaN.
template <typename T>
ZEMBRA_FORCE_INLINE Mask operator<(Lanes<T> a, Lanes<T> b) {
  return detail::Compare(a, b, [](T x, T y) { return x < y; });
}
template <typename T>
ZEMBRA_FORCE_INLINE Mask operator<=(Lanes<T> a, Lanes<T> b) {
  return detail::Compare(a, b, [](T x, T y) { return x <= y; });
}
template <typename T>
ZEMBRA_FORCE_INLINE Mask operator>(Lanes<T> a, Lanes<T> b) {
  return detail::Compare(a, b, [](T x, T y) { return x > y; });
}
template <typename T>
ZEMBRA_FORCE_INLINE Mask operator>=(Lanes<T> a, Lanes<T> b) {
  return detail::Compare(a, b, [](T x, T y) { return x >= y; });
}
template <typename T>
ZEMBRA_FORCE_INLINE Mask operator==(Lanes<T> a, Lanes<T> b) {
  return detail::Compare(a, b, [](T x, T y) { return x == y; });
}

ZEMBRA_FORCE_INLINE Mask operator&(Mask a, Mask b) {
  return detail::Combine(a, b, [](bool x, bool y) { return x && y; });
}
ZEMBRA_FORCE_INLINE Mask operator|(Mask a, Mask b) {
  return detail::Combine(a, b, [](bool x, bool y) { return x || y; });
}
ZEMBRA_FORCE_INLINE Mask operator!(Mask a) {
  return detail::Combine(a, a, [](bool x, bool) { return !x; });
}
// Bit i set for lane i.
ZEMBRA_FORCE_INLINE int LaneBits(Mask a) {
  return int(a.v[0]) | int(a.v[1]) << 1 | int(a.v[2]) << 2 | int(a.v[3]) << 3;
}

// m ? a : b, lane by lane.
template <typename T>
ZEMBRA_FORCE_INLINE Lanes<T> Select(Mask m, Lanes<T> a, Lanes<T> b) {
  Lanes<T> r;
  for (int i = 0; i < 4; ++i) r.v[i] = m.v[i] ? a.v[i] : b.v[i];
  return r;
}

// Lanes in which bit `bit` of the number's representation is set.
template <int bit, typename T>
ZEMBRA_FORCE_INLINE Mask BitSet(Lanes<T> a) {
  static_assert(bit >= 0 && bit < int(8 * sizeof(T)), "bit");
  Mask r;
  for (int i = 0; i < 4; ++i) r.v[i] = ((detail::Bits(a.v[i]) >> bit) & 1u) != 0;
  return r;
}
template <typename T>
ZEMBRA_FORCE_INLINE Mask SignBitSet(Lanes<T> a) {
  return BitSet<8 * sizeof(T) - 1>(a);
}

}  // namespace portable
}  // namespace lanes
}  // namespace ZEMBRA
