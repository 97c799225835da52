// The double lanes on SSE2, which every x86-64 processor has.
#pragma once

#include <emmintrin.h>

namespace ZEMBRA_IMU {
namespace lanes {

struct D2 {
  __m128d v;
};
struct M2 {
  __m128d v;  // all ones or all zeros per lane
};

inline D2 Splat(double a) { return {_mm_set1_pd(a)}; }
inline D2 Set(double l0, double l1) { return {_mm_setr_pd(l0, l1)}; }
inline double Lane0(D2 a) { return _mm_cvtsd_f64(a.v); }
inline double Lane1(D2 a) { return _mm_cvtsd_f64(_mm_unpackhi_pd(a.v, a.v)); }

inline D2 operator+(D2 a, D2 b) { return {_mm_add_pd(a.v, b.v)}; }
inline D2 operator-(D2 a, D2 b) { return {_mm_sub_pd(a.v, b.v)}; }
inline D2 operator*(D2 a, D2 b) { return {_mm_mul_pd(a.v, b.v)}; }
inline D2 operator/(D2 a, D2 b) { return {_mm_div_pd(a.v, b.v)}; }
inline D2 Sqrt(D2 a) { return {_mm_sqrt_pd(a.v)}; }

// Bitwise operations on the lanes' bits.
inline D2 And(D2 a, D2 b) { return {_mm_and_pd(a.v, b.v)}; }
inline D2 AndNot(D2 a, D2 b) { return {_mm_andnot_pd(a.v, b.v)}; }  // ~a & b
inline D2 Xor(D2 a, D2 b) { return {_mm_xor_pd(a.v, b.v)}; }

// Ordered comparisons: false in a lane where either side is NaN.
inline M2 operator<(D2 a, D2 b) { return {_mm_cmplt_pd(a.v, b.v)}; }
inline M2 operator<=(D2 a, D2 b) { return {_mm_cmple_pd(a.v, b.v)}; }
inline M2 operator>(D2 a, D2 b) { return {_mm_cmpgt_pd(a.v, b.v)}; }
inline M2 operator>=(D2 a, D2 b) { return {_mm_cmpge_pd(a.v, b.v)}; }
inline M2 operator==(D2 a, D2 b) { return {_mm_cmpeq_pd(a.v, b.v)}; }

inline M2 operator&(M2 a, M2 b) { return {_mm_and_pd(a.v, b.v)}; }
inline M2 operator|(M2 a, M2 b) { return {_mm_or_pd(a.v, b.v)}; }
inline M2 operator!(M2 a) { return {_mm_xor_pd(a.v, _mm_castsi128_pd(_mm_set1_epi32(-1)))}; }
inline bool Any(M2 a) { return _mm_movemask_pd(a.v) != 0; }
inline bool All(M2 a) { return _mm_movemask_pd(a.v) == 3; }
inline bool Lane0(M2 a) { return (_mm_movemask_pd(a.v) & 1) != 0; }
inline bool Lane1(M2 a) { return (_mm_movemask_pd(a.v) & 2) != 0; }
inline M2 Mask(bool l0, bool l1) {
  return {_mm_castsi128_pd(_mm_set_epi64x(l1 ? -1 : 0, l0 ? -1 : 0))};
}

// m ? a : b, lane by lane.
inline D2 Select(M2 m, D2 a, D2 b) { return {_mm_or_pd(_mm_and_pd(m.v, a.v), _mm_andnot_pd(m.v, b.v))}; }

// Lanes in which bit `bit` of the double's representation is set.
template <int bit>
inline M2 BitSet(D2 a) {
  static_assert(bit >= 0 && bit < 64, "bit");
  // Move the bit to the top, then spread each lane's top bit over the lane.
  const __m128i top = _mm_slli_epi64(_mm_castpd_si128(a.v), 63 - bit);
  return {_mm_castsi128_pd(_mm_shuffle_epi32(_mm_srai_epi32(top, 31), _MM_SHUFFLE(3, 3, 1, 1)))};
}
inline M2 SignBitSet(D2 a) { return BitSet<63>(a); }

// The lanes with the low 32 bits of each cleared.
inline D2 HighWord(D2 a) { return {_mm_and_pd(a.v, _mm_castsi128_pd(_mm_set1_epi64x(-4294967296LL)))}; }

}  // namespace lanes
}  // namespace ZEMBRA_IMU
