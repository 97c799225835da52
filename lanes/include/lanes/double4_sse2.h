// The double lanes on SSE2, which every x86-64 processor has: lanes 0 and 1
// in one register, 2 and 3 in another. Each operation issues the two halves
// side by side, so four fingers' chains of arithmetic overlap.
#pragma once

#include <emmintrin.h>

namespace ZEMBRA {
namespace lanes {
namespace float64 {

struct D4 {
  __m128d lo, hi;
};
struct M4 {
  __m128d lo, hi;  // all ones or all zeros per lane
};

inline D4 Splat(double a) { return {_mm_set1_pd(a), _mm_set1_pd(a)}; }
inline D4 Set(double l0, double l1, double l2, double l3) { return {_mm_setr_pd(l0, l1), _mm_setr_pd(l2, l3)}; }
inline D4 Load(const double* p) { return {_mm_loadu_pd(p), _mm_loadu_pd(p + 2)}; }
inline void Store(D4 a, double* p) {
  _mm_storeu_pd(p, a.lo);
  _mm_storeu_pd(p + 2, a.hi);
}
inline double Lane0(D4 a) { return _mm_cvtsd_f64(a.lo); }

inline D4 operator+(D4 a, D4 b) { return {_mm_add_pd(a.lo, b.lo), _mm_add_pd(a.hi, b.hi)}; }
inline D4 operator-(D4 a, D4 b) { return {_mm_sub_pd(a.lo, b.lo), _mm_sub_pd(a.hi, b.hi)}; }
inline D4 operator*(D4 a, D4 b) { return {_mm_mul_pd(a.lo, b.lo), _mm_mul_pd(a.hi, b.hi)}; }
inline D4 operator/(D4 a, D4 b) { return {_mm_div_pd(a.lo, b.lo), _mm_div_pd(a.hi, b.hi)}; }
inline D4 Sqrt(D4 a) { return {_mm_sqrt_pd(a.lo), _mm_sqrt_pd(a.hi)}; }

// Bitwise operations on the lanes' bits.
inline D4 And(D4 a, D4 b) { return {_mm_and_pd(a.lo, b.lo), _mm_and_pd(a.hi, b.hi)}; }
inline D4 AndNot(D4 a, D4 b) { return {_mm_andnot_pd(a.lo, b.lo), _mm_andnot_pd(a.hi, b.hi)}; }  // ~a & b
inline D4 Xor(D4 a, D4 b) { return {_mm_xor_pd(a.lo, b.lo), _mm_xor_pd(a.hi, b.hi)}; }

// Ordered comparisons: false in a lane where either side is NaN.
inline M4 operator<(D4 a, D4 b) { return {_mm_cmplt_pd(a.lo, b.lo), _mm_cmplt_pd(a.hi, b.hi)}; }
inline M4 operator<=(D4 a, D4 b) { return {_mm_cmple_pd(a.lo, b.lo), _mm_cmple_pd(a.hi, b.hi)}; }
inline M4 operator>(D4 a, D4 b) { return {_mm_cmpgt_pd(a.lo, b.lo), _mm_cmpgt_pd(a.hi, b.hi)}; }
inline M4 operator>=(D4 a, D4 b) { return {_mm_cmpge_pd(a.lo, b.lo), _mm_cmpge_pd(a.hi, b.hi)}; }
inline M4 operator==(D4 a, D4 b) { return {_mm_cmpeq_pd(a.lo, b.lo), _mm_cmpeq_pd(a.hi, b.hi)}; }

inline M4 operator&(M4 a, M4 b) { return {_mm_and_pd(a.lo, b.lo), _mm_and_pd(a.hi, b.hi)}; }
inline M4 operator|(M4 a, M4 b) { return {_mm_or_pd(a.lo, b.lo), _mm_or_pd(a.hi, b.hi)}; }
inline M4 operator!(M4 a) {
  const __m128d ones = _mm_castsi128_pd(_mm_set1_epi32(-1));
  return {_mm_xor_pd(a.lo, ones), _mm_xor_pd(a.hi, ones)};
}
// Bit i set for lane i.
inline int LaneBits(M4 a) { return _mm_movemask_pd(a.lo) | _mm_movemask_pd(a.hi) << 2; }

// m ? a : b, lane by lane.
inline D4 Select(M4 m, D4 a, D4 b) {
  return {_mm_or_pd(_mm_and_pd(m.lo, a.lo), _mm_andnot_pd(m.lo, b.lo)),
          _mm_or_pd(_mm_and_pd(m.hi, a.hi), _mm_andnot_pd(m.hi, b.hi))};
}

namespace sse2_detail {
// Moves bit `bit` of each 64-bit lane to the top, then spreads it over the lane.
template <int bit>
inline __m128d SpreadBit(__m128d a) {
  const __m128i top = _mm_slli_epi64(_mm_castpd_si128(a), 63 - bit);
  return _mm_castsi128_pd(_mm_shuffle_epi32(_mm_srai_epi32(top, 31), _MM_SHUFFLE(3, 3, 1, 1)));
}
}  // namespace sse2_detail

// Lanes in which bit `bit` of the double's representation is set.
template <int bit>
inline M4 BitSet(D4 a) {
  static_assert(bit >= 0 && bit < 64, "bit");
  return {sse2_detail::SpreadBit<bit>(a.lo), sse2_detail::SpreadBit<bit>(a.hi)};
}
inline M4 SignBitSet(D4 a) { return BitSet<63>(a); }

}  // namespace float64
}  // namespace lanes
}  // namespace ZEMBRA
