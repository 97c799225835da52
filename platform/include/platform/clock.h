// Monotonic time in 100-ns ticks, the unit the link supervision counts in.
#pragma once

#include <chrono>
#include <cstdint>

namespace ZEMBRA {
namespace platform {

constexpr int64_t kTicksPerSecond = 10000000;

inline int64_t NowTicks() {
  using Ticks = std::chrono::duration<int64_t, std::ratio<1, kTicksPerSecond>>;
  return std::chrono::duration_cast<Ticks>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

inline float SecondsSince(int64_t startTicks, int64_t nowTicks) {
  return float(nowTicks - startTicks) / float(kTicksPerSecond);
}

}  // namespace platform
}  // namespace ZEMBRA
