// Four double-precision lanes, for running the four long fingers of a hand
// through the same arithmetic at once.
//
// D4 holds four doubles, M4 four lane masks. Every operation is one IEEE
// double-precision operation per lane, so a lane computes exactly the bits
// the same expression on plain doubles gives: the vector build and the
// portable build agree to the bit.
#pragma once

#include <cstdint>
#include <cstring>

// ZEMBRA_LANES_PORTABLE picks the plain doubles on any processor; the tests
// use it to check that both give the same bits.
#if !defined(ZEMBRA_LANES_PORTABLE) && \
    (defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2))
#include "lanes/double4_sse2.h"
#else
#include "lanes/double4_portable.h"
#endif

namespace ZEMBRA {
namespace lanes {
namespace float64 {

inline D4 operator-(D4 a) { return Xor(a, Splat(-0.0)); }
inline D4 Abs(D4 a) { return AndNot(Splat(-0.0), a); }
inline M4 IsNaN(D4 a) { return !(a == a); }
// a with the sign of s flipped in: a ^ (s's sign bit).
inline D4 FlipSignBy(D4 a, D4 s) { return Xor(a, And(s, Splat(-0.0))); }
inline bool Any(M4 a) { return LaneBits(a) != 0; }
inline bool All(M4 a) { return LaneBits(a) == 0xF; }
// The lanes with the low 32 bits of each cleared.
inline D4 HighWord(D4 a) {
  constexpr uint64_t kHighWord = 0xFFFFFFFF00000000u;
  double mask;
  std::memcpy(&mask, &kHighWord, sizeof mask);
  return And(a, Splat(mask));
}

}  // namespace float64
}  // namespace lanes
}  // namespace ZEMBRA
