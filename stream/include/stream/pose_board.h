// Where poses meet the outputs: the newest pose of each hand of each
// performer, a count of the poses each hand delivered, and a wake-up for
// outputs waiting for the next one. The feeds put poses in on the driver's
// reader threads; an output (the VMC sender, or any other) reads the hands
// it serves and waits for news. Each hand also keeps a reference pose, the
// one its wrist is measured from (the first pose, then the pose at each
// alignment).
//
// An output on an event loop of its own listens instead of waiting: Put
// tells each listener of every pose on the putting thread.
//
// Threads: every member may be called from any thread. Put holds the
// board's lock for a copy, then tells the listeners and wakes only outputs
// that asked to be woken by poses (never one in SleepUntil); it never
// allocates.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "stream/options.h"
#include "zembra/Pose.h"

namespace ZEMBRA {
namespace stream {

struct HandSnapshot {
  Pose pose{};
  Pose reference{};
  uint64_t count = 0;                           // poses delivered so far; 0 means none yet
  std::chrono::steady_clock::time_point at;     // when the newest came (a Read begun later finds it)
  std::chrono::steady_clock::time_point first;  // when the first came
};

// Told of each pose on the thread that put it: must be quick (a few atomic
// operations), and must not call the board back.
class PoseListener {
 public:
  virtual void OnPose(int performer, HandType hand, std::chrono::steady_clock::time_point at) = 0;

 protected:
  ~PoseListener() = default;
};

class PoseBoard {
 public:
  using Clock = std::chrono::steady_clock;

  // Driver reader threads. Hands other than left and right are dropped.
  void Put(int performer, HandType hand, const Pose& pose);
  // The hand's slot; false when it never delivered.
  bool Read(int performer, HandType hand, HandSnapshot& out) const;
  // The newest pose becomes the hand's reference.
  void TakeReference(int performer, HandType hand);

  // Counts every pose of every hand: an output that saw `seen` has news
  // when version() is above it.
  uint64_t version() const { return version_.load(); }
  // Returns once the version is above seen, at until, or once Stop was
  // called; gives the version then.
  uint64_t WaitForPose(uint64_t seen, Clock::time_point until);
  // Sleeps until the time without waking for poses; false once stopping.
  bool SleepUntil(Clock::time_point until);
  // Where the board keeps a hand: 2 * performer, + 1 for the right hand.
  static size_t Index(int performer, HandType hand) { return size_t(performer) * 2 + (hand == Hand_Right ? 1 : 0); }

  // Once Unlisten returns, the listener is called no more and is not
  // being called.
  void Listen(PoseListener* listener);
  void Unlisten(PoseListener* listener);

  // Ends every wait now and later.
  void Stop();
  bool stopping() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;  // poses, for WaitForPose
  std::condition_variable stopped_;  // for SleepUntil, which poses must not wake
  std::array<HandSnapshot, 2 * kMaxPerformers> slots_{};
  std::atomic<uint64_t> version_{0};
  std::atomic<int> waiting_{0};  // outputs that want to be woken by poses
  bool stopping_ = false;
  // Apart from mutex_: a listener never holds up a reader of the board.
  std::mutex listenersMutex_;
  std::vector<PoseListener*> listeners_;
};

}  // namespace stream
}  // namespace ZEMBRA
