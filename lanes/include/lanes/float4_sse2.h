// The lanes on SSE2, which every x86-64 processor has.
#pragma once

#include <emmintrin.h>

namespace ZEMBRA {
namespace lanes {
namespace float32 {

struct F4 {
  __m128 v;
};
struct M4 {
  __m128 v;  // all ones or all zeros per lane
};

inline F4 Splat(float a) { return {_mm_set1_ps(a)}; }
inline F4 Set(float l0, float l1, float l2, float l3) { return {_mm_setr_ps(l0, l1, l2, l3)}; }
inline F4 Load(const float* p) { return {_mm_loadu_ps(p)}; }
inline void Store(F4 a, float* p) { _mm_storeu_ps(p, a.v); }
inline float Lane0(F4 a) { return _mm_cvtss_f32(a.v); }

inline F4 operator+(F4 a, F4 b) { return {_mm_add_ps(a.v, b.v)}; }
inline F4 operator-(F4 a, F4 b) { return {_mm_sub_ps(a.v, b.v)}; }
inline F4 operator*(F4 a, F4 b) { return {_mm_mul_ps(a.v, b.v)}; }
inline F4 operator/(F4 a, F4 b) { return {_mm_div_ps(a.v, b.v)}; }
inline F4 Sqrt(F4 a) { return {_mm_sqrt_ps(a.v)}; }
// a < b ? a : b and a > b ? a : b, lane by lane (b when either is NaN).
inline F4 Min(F4 a, F4 b) { return {_mm_min_ps(a.v, b.v)}; }
inline F4 Max(F4 a, F4 b) { return {_mm_max_ps(a.v, b.v)}; }

// Bitwise operations on the lanes' bits.
inline F4 And(F4 a, F4 b) { return {_mm_and_ps(a.v, b.v)}; }
inline F4 Or(F4 a, F4 b) { return {_mm_or_ps(a.v, b.v)}; }
inline F4 AndNot(F4 a, F4 b) { return {_mm_andnot_ps(a.v, b.v)}; }  // ~a & b
inline F4 Xor(F4 a, F4 b) { return {_mm_xor_ps(a.v, b.v)}; }

// Ordered comparisons: false in a lane where either side is NaN.
inline M4 operator<(F4 a, F4 b) { return {_mm_cmplt_ps(a.v, b.v)}; }
inline M4 operator<=(F4 a, F4 b) { return {_mm_cmple_ps(a.v, b.v)}; }
inline M4 operator>(F4 a, F4 b) { return {_mm_cmpgt_ps(a.v, b.v)}; }
inline M4 operator>=(F4 a, F4 b) { return {_mm_cmpge_ps(a.v, b.v)}; }
inline M4 operator==(F4 a, F4 b) { return {_mm_cmpeq_ps(a.v, b.v)}; }

inline M4 operator&(M4 a, M4 b) { return {_mm_and_ps(a.v, b.v)}; }
inline M4 operator|(M4 a, M4 b) { return {_mm_or_ps(a.v, b.v)}; }
inline M4 operator!(M4 a) { return {_mm_xor_ps(a.v, _mm_castsi128_ps(_mm_set1_epi32(-1)))}; }
// Bit i set for lane i.
inline int LaneBits(M4 a) { return _mm_movemask_ps(a.v); }

// m ? a : b, lane by lane.
inline F4 Select(M4 m, F4 a, F4 b) { return {_mm_or_ps(_mm_and_ps(m.v, a.v), _mm_andnot_ps(m.v, b.v))}; }

// Lanes whose sign bit is set (negative numbers, -0 and NaNs with the bit).
inline M4 SignBitSet(F4 a) { return {_mm_castsi128_ps(_mm_srai_epi32(_mm_castps_si128(a.v), 31))}; }

// Lanes in which bit `bit` of the float's representation is set.
template <int bit>
inline M4 BitSet(F4 a) {
  static_assert(bit >= 0 && bit < 32, "bit");
  return {_mm_castsi128_ps(_mm_srai_epi32(_mm_slli_epi32(_mm_castps_si128(a.v), 31 - bit), 31))};
}

}  // namespace float32
}  // namespace lanes
}  // namespace ZEMBRA
