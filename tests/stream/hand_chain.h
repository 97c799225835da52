// Composing received finger bones down each finger chain, as a receiving
// rig does: where each joint of a finger lies and where its last bone
// points, in the T-pose hand's frame (the hand bone at the origin, unturned).
#pragma once

#include <array>
#include <cmath>
#include <map>
#include <string>

namespace ZEMBRA {
namespace streamtest {

struct V3 {
  double x = 0, y = 0, z = 0;
};
struct Q4 {
  double x = 0, y = 0, z = 0, w = 1;
};

inline Q4 Mul(const Q4& a, const Q4& b) {
  return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y + a.y * b.w + a.z * b.x - a.x * b.z,
          a.w * b.z + a.z * b.w + a.x * b.y - a.y * b.x, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}
inline V3 Rotate(const Q4& q, const V3& v) {
  const Q4 r = Mul(Mul(q, Q4{v.x, v.y, v.z, 0}), Q4{-q.x, -q.y, -q.z, q.w});
  return {r.x, r.y, r.z};
}
inline double Length(const V3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

// One received bone: offset from its parent and rotation local to it.
struct ReceivedBone {
  V3 position;
  Q4 rotation;
};

constexpr const char* kFingers[5] = {"Thumb", "Index", "Middle", "Ring", "Little"};
constexpr const char* kSegments[3] = {"Proximal", "Intermediate", "Distal"};

struct FingerChain {
  std::array<V3, 3> joints;  // where the proximal, intermediate and distal bones start
  V3 tipDirection;           // where the distal bone points, a unit vector
};

// side: "Left" or "Right". The distal bone is taken to go on the way its
// own offset from the intermediate one goes.
inline FingerChain Compose(const std::map<std::string, ReceivedBone>& bones, const std::string& side, int finger) {
  FingerChain chain;
  Q4 q;
  V3 at, last;
  for (int s = 0; s < 3; ++s) {
    const ReceivedBone& b = bones.at(side + kFingers[finger] + kSegments[s]);
    const V3 step = Rotate(q, b.position);
    at = {at.x + step.x, at.y + step.y, at.z + step.z};
    chain.joints[size_t(s)] = at;
    q = Mul(q, b.rotation);
    last = b.position;
  }
  const double n = Length(last);
  chain.tipDirection = Rotate(q, {last.x / n, last.y / n, last.z / n});
  return chain;
}

}  // namespace streamtest
}  // namespace ZEMBRA
