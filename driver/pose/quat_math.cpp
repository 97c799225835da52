#include "driver/pose/quat_math.h"

namespace ZEMBRA {
namespace pose {

namespace {

using lanes::F4;
using lanes::Quat4;

Quat4 Wide(const Quat& q) { return lanes::Splat(q); }
F4 Wide(float f) { return lanes::Splat(f); }

}  // namespace

Euler ToEuler(const Quat& q) {
  const Quat4 wide = Wide(q);
  const lanes::Euler4 poles = lanes::PolesOf(wide);
  return {lanes::Lane0(lanes::EulerX(wide, poles)), lanes::Lane0(lanes::EulerY(wide, poles)),
          lanes::Lane0(lanes::EulerZ(wide, poles))};
}

float EulerY(const Quat& q) { return lanes::Lane0(lanes::EulerY(Wide(q))); }
float EulerZ(const Quat& q) { return lanes::Lane0(lanes::EulerZ(Wide(q))); }

Quat FromEuler(float ex, float ey, float ez) { return lanes::Lane0(lanes::FromEuler(Wide(ex), Wide(ey), Wide(ez))); }
Quat FromEulerYZ(float ey, float ez) { return lanes::Lane0(lanes::FromEulerYZ(Wide(ey), Wide(ez))); }
Quat RotY(float degrees) { return lanes::Lane0(lanes::RotY(Wide(degrees))); }
Quat RotZ(float degrees) { return lanes::Lane0(lanes::RotZ(Wide(degrees))); }
Quat RotZHalfAngle(float halfRadians) { return lanes::Lane0(lanes::RotZHalfAngle(Wide(halfRadians))); }
Quat Slerp(const Quat& a, const Quat& b, float t) { return lanes::Lane0(lanes::Slerp(Wide(a), Wide(b), Wide(t))); }

void SinCos(float radians, float& sine, float& cosine) {
  F4 s, c;
  lanes::SinCos(Wide(radians), s, c);
  sine = lanes::Lane0(s);
  cosine = lanes::Lane0(c);
}

}  // namespace pose
}  // namespace ZEMBRA
