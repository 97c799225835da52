#include "driver/pose/quat_math.h"

namespace ZEMBRA {
namespace pose {

namespace {

using wide::F4;
using wide::Quat4;

Quat4 Wide(const Quat& q) { return wide::Splat(q); }
F4 Wide(float f) { return wide::Splat(f); }

}  // namespace

Euler ToEuler(const Quat& q) {
  const Quat4 wide = Wide(q);
  const wide::Euler4 poles = wide::PolesOf(wide);
  return {wide::Lane0(wide::EulerX(wide, poles)), wide::Lane0(wide::EulerY(wide, poles)),
          wide::Lane0(wide::EulerZ(wide, poles))};
}

float EulerY(const Quat& q) { return wide::Lane0(wide::EulerY(Wide(q))); }
float EulerZ(const Quat& q) { return wide::Lane0(wide::EulerZ(Wide(q))); }

Quat FromEuler(float ex, float ey, float ez) { return wide::Lane0(wide::FromEuler(Wide(ex), Wide(ey), Wide(ez))); }
Quat FromEulerYZ(float ey, float ez) { return wide::Lane0(wide::FromEulerYZ(Wide(ey), Wide(ez))); }
Quat RotY(float degrees) { return wide::Lane0(wide::RotY(Wide(degrees))); }
Quat RotZ(float degrees) { return wide::Lane0(wide::RotZ(Wide(degrees))); }
Quat RotZHalfAngle(float halfRadians) { return wide::Lane0(wide::RotZHalfAngle(Wide(halfRadians))); }
Quat Slerp(const Quat& a, const Quat& b, float t) { return wide::Lane0(wide::Slerp(Wide(a), Wide(b), Wide(t))); }

void SinCos(float radians, float& sine, float& cosine) {
  F4 s, c;
  wide::SinCos(Wide(radians), s, c);
  sine = wide::Lane0(s);
  cosine = wide::Lane0(c);
}

}  // namespace pose
}  // namespace ZEMBRA
