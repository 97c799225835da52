// Four single-precision lanes, for running the four long fingers of a hand
// through the same arithmetic at once.
//
// F4 holds four floats, M4 four lane masks (a comparison's result). Every
// operation is one IEEE single-precision operation per lane, so a lane
// computes exactly the bits that the same expression on plain floats gives:
// the vector build and the portable build agree to the bit.
#pragma once

// ZEMBRA_LANES_PORTABLE picks the plain floats on any processor; the tests
// use it to check that both give the same bits.
#if !defined(ZEMBRA_LANES_PORTABLE) && \
    (defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2))
#include "lanes/float4_sse2.h"
#else
#include "lanes/float4_portable.h"
#endif

namespace ZEMBRA {
namespace lanes {
namespace float32 {

inline F4 operator-(F4 a) { return Xor(a, Splat(-0.0f)); }
inline F4 Abs(F4 a) { return AndNot(Splat(-0.0f), a); }
// a with the sign of s.
inline F4 CopySign(F4 a, F4 s) { return Or(Abs(a), And(s, Splat(-0.0f))); }
inline M4 IsNaN(F4 a) { return !(a == a); }
inline bool Any(M4 a) { return LaneBits(a) != 0; }
inline bool All(M4 a) { return LaneBits(a) == 0xF; }

}  // namespace float32
}  // namespace lanes
}  // namespace ZEMBRA
