// The double-precision lanes as four plain doubles, for processors without
// SSE2.
#pragma once

#include "lanes/portable4.h"

namespace ZEMBRA {
namespace lanes {
namespace float64 {

using D4 = portable::Lanes<double>;
using M4 = portable::Mask;
using portable::And;
using portable::AndNot;
using portable::BitSet;
using portable::Lane0;
using portable::LaneBits;
using portable::Select;
using portable::SignBitSet;
using portable::Sqrt;
using portable::Store;
using portable::Xor;

// The lanes are made from doubles only, as in the vector build.
inline D4 Splat(double a) { return portable::Splat<double>(a); }
inline D4 Set(double l0, double l1, double l2, double l3) { return portable::Set<double>(l0, l1, l2, l3); }
inline D4 Load(const double* p) { return portable::Load<double>(p); }

}  // namespace float64
}  // namespace lanes
}  // namespace ZEMBRA
