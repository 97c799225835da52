// Shared by the pose engine's tests, fuzzers and benchmarks: sensor readings
// for wanted joint rotations, random unit rotations, and bursts carrying them.
#pragma once

#include <cmath>
#include <random>
#include <vector>

#include "tests/support/glove_packets.h"
#include "tests/support/quat_oracle.h"

namespace ZEMBRA {
namespace testsupport {

// Every sensor at the identity reading, as a fresh engine holds them.
inline Sensors IdentityReadings() {
  Sensors s;
  s.fill(Quat{0.0f, 0.0f, 0.0f, 1.0f});
  return s;
}

// Readings that put the wrist at `wrist`, finger i's joint (before the
// engine's estimate) at wrist * fingers[i] and the thumb at `thumb`, all in
// the hand model's frame.
inline Sensors ReadingsFor(const DQuat& wrist, const DQuat (&fingers)[4], const DQuat& thumb) {
  Sensors s;
  for (int i = 0; i < 4; ++i) s[size_t(i)] = SensorForJointF(wrist * fingers[i]);
  s[4] = SensorForJointF(thumb);
  s[5] = SensorForJointF(wrist);
  return s;
}

inline Quat RandomUnit(std::mt19937& rng) {
  std::normal_distribution<float> n(0.0f, 1.0f);
  for (;;) {
    const float x = n(rng), y = n(rng), z = n(rng), w = n(rng);
    const float len = std::sqrt(x * x + y * y + z * z + w * w);
    if (len > 1e-3f) return {x / len, y / len, z / len, w / len};
  }
}

inline Sensors RandomReadings(std::mt19937& rng) {
  Sensors s;
  for (auto& q : s) q = RandomUnit(rng);
  return s;
}

// A sequence of bursts of one kind whose readings wander smoothly, as a
// moving hand's would, with a status block that changes now and then.
inline std::vector<std::vector<uint8_t>> WanderingBursts(Burst kind, size_t count, uint32_t seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> step(0.0, 0.05);
  DQuat q[6];
  for (auto& r : q) r = ToD(RandomUnit(rng));
  std::vector<std::vector<uint8_t>> bursts;
  bursts.reserve(count);
  for (size_t n = 0; n < count; ++n) {
    Sensors s;
    for (size_t i = 0; i < 6; ++i) {
      q[i] = Unit({q[i].x + step(rng), q[i].y + step(rng), q[i].z + step(rng), q[i].w + step(rng)});
      s[i] = ToF(q[i]);
    }
    StatusBlock status;
    status.statusByte = int8_t(n % 100);
    status.selector = int8_t(n % 7);
    status.slotValue = int8_t(n % 128);
    status.value = float(n) * 0.5f;
    bursts.push_back(BuildBurst(kind, s, status));
  }
  return bursts;
}

}  // namespace testsupport
}  // namespace ZEMBRA
