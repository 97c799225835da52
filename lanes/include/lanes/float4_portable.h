// The single-precision lanes as four plain floats, for processors without
// SSE2.
#pragma once

#include "lanes/portable4.h"

namespace ZEMBRA {
namespace pose {
namespace lanes {

using F4 = platform::portable_lanes::Lanes<float>;
using M4 = platform::portable_lanes::Mask;
using platform::portable_lanes::And;
using platform::portable_lanes::AndNot;
using platform::portable_lanes::BitSet;
using platform::portable_lanes::Lane0;
using platform::portable_lanes::LaneBits;
using platform::portable_lanes::Max;
using platform::portable_lanes::Min;
using platform::portable_lanes::Or;
using platform::portable_lanes::Select;
using platform::portable_lanes::SignBitSet;
using platform::portable_lanes::Sqrt;
using platform::portable_lanes::Store;
using platform::portable_lanes::Xor;

// The lanes are made from floats only, as in the vector build (no lanes of
// doubles by accident).
inline F4 Splat(float a) { return platform::portable_lanes::Splat<float>(a); }
inline F4 Set(float l0, float l1, float l2, float l3) { return platform::portable_lanes::Set<float>(l0, l1, l2, l3); }
inline F4 Load(const float* p) { return platform::portable_lanes::Load<float>(p); }

}  // namespace lanes
}  // namespace pose
}  // namespace ZEMBRA
