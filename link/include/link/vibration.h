// A vibration of a given length: the vibrate command every 10 ms until the
// period has passed, as the driver and the plug-in both send it.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

namespace ZEMBRA {
namespace link {

constexpr auto kVibrationPause = std::chrono::milliseconds(10);

enum class VibrationEnd { PeriodOver, WriteFailed, Stopped };

// writeOne sends one vibrate command and says whether it went out; the
// first failure ends the vibration. stop ends it between two commands. A
// period of 0 or less sends nothing. Blocks the caller for the period.
template <typename WriteOne>
VibrationEnd Vibrate(int milliseconds, WriteOne writeOne, const std::atomic<bool>& stop) {
  const auto start = std::chrono::steady_clock::now();
  while (!stop.load()) {
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    if (elapsed.count() >= milliseconds) return VibrationEnd::PeriodOver;
    if (!writeOne()) return VibrationEnd::WriteFailed;
    std::this_thread::sleep_for(kVibrationPause);
  }
  return VibrationEnd::Stopped;
}

}  // namespace link
}  // namespace ZEMBRA
