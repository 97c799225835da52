// Prints one digest of the bits that the lane blocks of both pose engines
// produce over a fixed set of arguments (ordinary ones, poles, zeros,
// infinities and NaNs). It is built once on the processor's vector lanes and
// once on plain numbers; the test that runs both expects the same digest,
// since the engines promise the same numbers from every build.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include "driver/pose/quat4.h"
#include "plugin/quatd4.h"

namespace {

using namespace ZEMBRA::pose::wide;
using ZEMBRA::Quat;

class Digest {
 public:
  void Add(F4 v) {
    float f[4];
    Store(v, f);
    for (float x : f) {
      uint32_t bits;
      std::memcpy(&bits, &x, sizeof bits);
      for (int i = 0; i < 4; ++i) {
        hash_ = (hash_ ^ ((bits >> (8 * i)) & 0xFFu)) * 0x100000001B3ull;
      }
    }
  }
  void Add(ZEMBRA::plugin_pose::wide::D4 v) {
    double d[4];
    ZEMBRA::plugin_pose::wide::Store(v, d);
    for (double x : d) {
      uint64_t bits;
      std::memcpy(&bits, &x, sizeof bits);
      for (int i = 0; i < 8; ++i) hash_ = (hash_ ^ ((bits >> (8 * i)) & 0xFFu)) * 0x100000001B3ull;
    }
  }
  void Add(const ZEMBRA::plugin_pose::wide::Quatd4& q) {
    Add(q.x);
    Add(q.y);
    Add(q.z);
    Add(q.w);
  }
  void Add(const Quat4& q) {
    Add(q.x);
    Add(q.y);
    Add(q.z);
    Add(q.w);
  }
  uint64_t value() const { return hash_; }

 private:
  uint64_t hash_ = 0xCBF29CE484222325ull;
};

// A fixed pseudo-random float in [-range, range] from a counter.
float Wander(uint32_t i, float range) {
  uint32_t x = i * 2654435761u + 12345u;
  x ^= x >> 15;
  x *= 2246822519u;
  x ^= x >> 13;
  return (float(x & 0xFFFFFFu) / float(0xFFFFFF) * 2.0f - 1.0f) * range;
}

F4 WanderLanes(uint32_t i, float range) {
  return Set(Wander(4 * i, range), Wander(4 * i + 1, range), Wander(4 * i + 2, range), Wander(4 * i + 3, range));
}

}  // namespace

int main() {
  constexpr float inf = std::numeric_limits<float>::infinity();
  constexpr float nan = std::numeric_limits<float>::quiet_NaN();
  Digest digest;
  const F4 specials[] = {Set(0.0f, -0.0f, inf, -inf), Set(nan, 1.0f, -1.0f, 0.5f),
                         Set(1e-30f, -1e30f, 3.1415927f, 1e6f)};
  for (const F4& a : specials) {
    for (const F4& b : specials) digest.Add(Atan2(a, b));
    F4 s, c;
    SinCos(a, s, c);
    digest.Add(s);
    digest.Add(c);
    digest.Add(Acos(a));
    digest.Add(Asin(a));
  }
  for (uint32_t i = 0; i < 20000; ++i) {
    const F4 a = WanderLanes(i, 4.0f), b = WanderLanes(i + 50000, 1.0f);
    F4 s, c;
    SinCos(a, s, c);
    digest.Add(s);
    digest.Add(c);
    digest.Add(Atan2(a, b));
    digest.Add(Acos(b));
    digest.Add(Asin(b));
    const Quat4 q = {WanderLanes(i + 100000, 1.0f), WanderLanes(i + 150000, 1.0f), WanderLanes(i + 200000, 1.0f),
                     WanderLanes(i + 250000, 1.0f)};
    const Quat4 r = {b, a, WanderLanes(i + 300000, 1.0f), WanderLanes(i + 350000, 1.0f)};
    const Euler4 poles = PolesOf(q);
    digest.Add(EulerX(q, poles));
    digest.Add(EulerY(q, poles));
    digest.Add(EulerZ(q, poles));
    digest.Add(FromEuler(a * Splat(45.0f), b * Splat(180.0f), a * Splat(-30.0f)));
    digest.Add(Slerp(Normalise(q), Normalise(r), WanderLanes(i + 400000, 1.5f)));
    digest.Add(Mul(q, r));
  }
  // The pose variant's double lanes over the same kind of arguments.
  {
    namespace d = ZEMBRA::plugin_pose::wide;
    const d::D4 doubles[] = {d::Set(0.0, -0.0, inf, -inf), d::Set(nan, 1.0, -1.0, 0.5),
                             d::Set(1e-310, -1e300, 3.141592653589793, 1e5)};
    for (const d::D4& a : doubles) {
      for (const d::D4& b : doubles) digest.Add(d::Atan2(a, b));
      d::D4 s, c;
      d::SinCos(a, s, c);
      digest.Add(s);
      digest.Add(c);
      digest.Add(d::Acos(a));
    }
    for (uint32_t i = 0; i < 20000; ++i) {
      const auto wander = [i](uint32_t at, float range) {
        return d::Set(Wander(4 * i + at, range), Wander(4 * i + at + 1, range), Wander(4 * i + at + 2, range),
                      Wander(4 * i + at + 3, range));
      };
      const d::D4 a = wander(0, 8.0f), b = wander(100000, 1.0f);
      d::D4 s, c;
      d::SinCos(a, s, c);
      digest.Add(s);
      digest.Add(c);
      digest.Add(d::Atan2(a, b));
      digest.Add(d::Acos(b));
      const d::Quatd4 q = {a, b, wander(200000, 1.0f), wander(300000, 1.0f)};
      const d::Quatd4 r = {b, wander(400000, 1.0f), a, wander(500000, 1.0f)};
      digest.Add(d::EulerY(q));
      digest.Add(d::EulerZ(q));
      digest.Add(d::Inverse(q));
      digest.Add(d::Normalise(r));
      digest.Add(d::FromEuler(a * d::Splat(20.0), b * d::Splat(90.0), a));
      digest.Add(d::SlerpArc4(d::Normalise(q), d::Normalise(r)).At(b));
    }
  }
  std::printf("%016" PRIx64 "\n", digest.value());
  return 0;
}
