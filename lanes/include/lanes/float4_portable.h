// The single-precision lanes as four plain floats, for processors without
// SSE2.
#pragma once

#include "lanes/portable4.h"

namespace ZEMBRA {
namespace lanes {
namespace float32 {

using F4 = portable::Lanes<float>;
using M4 = portable::Mask;
using portable::And;
using portable::AndNot;
using portable::BitSet;
using portable::Lane0;
using portable::LaneBits;
using portable::Max;
using portable::Min;
using portable::Or;
using portable::Select;
using portable::SignBitSet;
using portable::Sqrt;
using portable::Store;
using portable::Xor;

// The lanes are made from floats only, as in the vector build (no lanes of
// doubles by accident).
inline F4 Splat(float a) { return portable::Splat<float>(a); }
inline F4 Set(float l0, float l1, float l2, float l3) { return portable::Set<float>(l0, l1, l2, l3); }
inline F4 Load(const float* p) { return portable::Load<float>(p); }

}  // namespace float32
}  // namespace lanes
}  // namespace ZEMBRA
