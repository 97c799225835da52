// Two double-precision lanes, for running two fingers of a hand through the
// same arithmetic at once.
//
// D2 holds two doubles, M2 two lane masks. Every operation is one IEEE
// double-precision operation per lane, so a lane computes exactly the bits
// the same expression on plain doubles gives: the vector build and the
// portable build agree to the bit.
#pragma once

// ZEMBRA_LANES_PORTABLE picks the plain doubles on any processor; the tests
// use it to check that both give the same bits.
#if !defined(ZEMBRA_LANES_PORTABLE) && \
    (defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2))
#include "plugin/lanes/double2_sse2.h"
#else
#include "plugin/lanes/double2_portable.h"
#endif

namespace ZEMBRA_IMU {
namespace lanes {

inline D2 operator-(D2 a) { return Xor(a, Splat(-0.0)); }
inline D2 Abs(D2 a) { return AndNot(Splat(-0.0), a); }
inline M2 IsNaN(D2 a) { return !(a == a); }
inline void StorePair(D2 a, double* out) {
  out[0] = Lane0(a);
  out[1] = Lane1(a);
}
// a with the sign of s flipped in: a ^ (s's sign bit).
inline D2 FlipSignBy(D2 a, D2 s) { return Xor(a, And(s, Splat(-0.0))); }

}  // namespace lanes
}  // namespace ZEMBRA_IMU
