// One hand's live poses, as any client of the driver gets them: the
// receiver is found by discovery and opened through the driver's interface
// on a thread of the feed's own, and found again every few seconds while it
// is missing or refuses to open (the configuration tool may still be
// closing it). The driver's reader thread only drops each pose into a
// LatestValue: it never waits for the display.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "tool/viewer/latest_value.h"
#include "zembra/Pose.h"
#include "zembra/ZEMBRAIMU.h"

namespace ZEMBRA {
namespace viewer {

class GloveFeed {
 public:
  enum class State { NoReceiver, Opening, Open };
  using Clock = std::chrono::steady_clock;

  // Starts looking for the hand's receiver at once.
  explicit GloveFeed(HandType hand, std::chrono::milliseconds retry = std::chrono::milliseconds(2000));
  // Closes the port and releases the driver; returns once the feed's thread
  // has ended (at most one port open's time-out).
  ~GloveFeed();
  GloveFeed(const GloveFeed&) = delete;
  GloveFeed& operator=(const GloveFeed&) = delete;

  HandType hand() const { return hand_; }
  State state() const { return state_.load(); }
  // The newest pose since the last call (GUI thread).
  bool TakePose(Pose& pose) { return latest_.Take(pose); }
  // Poses delivered so far, and when the last one came.
  uint64_t poseCount() const { return poses_.load(); }
  Clock::time_point lastPoseTime() const { return Clock::time_point(Clock::duration(lastPose_.load())); }

 private:
  class Handler;

  void Run();
  // Waits for the retry time or for the end; true when the feed ends.
  bool WaitOrStop(std::chrono::milliseconds wait);
  void Publish(const Pose& pose);

  const HandType hand_;
  const std::chrono::milliseconds retry_;
  std::atomic<State> state_{State::NoReceiver};
  LatestValue<Pose> latest_;
  std::atomic<uint64_t> poses_{0};
  std::atomic<Clock::rep> lastPose_{0};
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace viewer
}  // namespace ZEMBRA
