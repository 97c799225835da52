// The double-precision lanes as four plain doubles, for processors without
// SSE2.
#pragma once

#include "lanes/portable4.h"

namespace ZEMBRA_IMU {
namespace lanes {

using D4 = ZEMBRA::platform::portable_lanes::Lanes<double>;
using M4 = ZEMBRA::platform::portable_lanes::Mask;
using ZEMBRA::platform::portable_lanes::And;
using ZEMBRA::platform::portable_lanes::AndNot;
using ZEMBRA::platform::portable_lanes::BitSet;
using ZEMBRA::platform::portable_lanes::Lane0;
using ZEMBRA::platform::portable_lanes::LaneBits;
using ZEMBRA::platform::portable_lanes::Select;
using ZEMBRA::platform::portable_lanes::SignBitSet;
using ZEMBRA::platform::portable_lanes::Sqrt;
using ZEMBRA::platform::portable_lanes::Store;
using ZEMBRA::platform::portable_lanes::Xor;

// The lanes are made from doubles only, as in the vector build.
inline D4 Splat(double a) { return ZEMBRA::platform::portable_lanes::Splat<double>(a); }
inline D4 Set(double l0, double l1, double l2, double l3) {
  return ZEMBRA::platform::portable_lanes::Set<double>(l0, l1, l2, l3);
}
inline D4 Load(const double* p) { return ZEMBRA::platform::portable_lanes::Load<double>(p); }

}  // namespace lanes
}  // namespace ZEMBRA_IMU
