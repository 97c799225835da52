// Keeps one receiver streaming for as long as the feed lives. A thread of
// the feed's own finds the target receiver, opens it through a GloveSession
// and, while it is missing or refuses to open, looks again every `retry`.
// A receiver that goes away is noticed in two ways, since the driver's
// reader merely stops when its port fails: the port leaves the port list
// (checked every `retry`), or no pose comes for `silence`. The feed then
// closes, releases and searches again, so a replugged receiver comes back,
// under whatever port name it now has.
//
// Poses: the newest waits in a LatestValue for one consumer thread
// (TakePose), and the optional onPose callback sees every one. The
// driver's reader thread never waits for either.
//
// Threads: every public member may be called from any thread, TakePose
// from one at a time. onPose and onEvent run on the driver's threads: keep
// them quick (the next packet waits), and never destroy the feed from them.
// The commands run on the calling thread against the open driver and are
// serialised with the feed thread's close and reopen; they never wait for
// an open in progress.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "driver/client/glove_session.h"
#include "driver/client/latest_value.h"
#include "zembra/ZEMBRAIMU.h"

namespace ZEMBRA {
namespace client {

// Which receiver a feed keeps open.
struct FeedTarget {
  HandType hand = Hand_Left;
  // Empty: the first receiver of hand in port order, as DetectGlovePort
  // chooses. Otherwise this receiver, found by its identifier wherever it
  // is plugged in (hand is then read from the identifier).
  std::string instance_id;

  static FeedTarget FirstOf(HandType hand) { return {hand, {}}; }
  static FeedTarget ById(const std::string& instanceId);
};

// Both times must be above zero.
struct FeedOptions {
  // Between looks while the receiver is missing or refuses to open, and
  // between checks that an open receiver is still plugged in.
  std::chrono::milliseconds retry{2000};
  // An open receiver without a pose for this long is Silent.
  std::chrono::milliseconds silence{2000};
  // Whether a Silent receiver is closed and opened again.
  bool reopenWhenSilent = true;
  int mode = kGloveMode;  // or kAdvancedGloveMode
  // Every pose, on the driver's reader thread.
  std::function<void(const Pose&)> onPose;
  // Every event, on the driver's threads.
  std::function<void(const IMUEvent&)> onEvent;
};

enum class FeedState {
  NoReceiver,  // missing, or it refused to open: looking again every retry
  Opening,     // the driver is setting the link up
  Streaming,   // open, and a pose came within silence
  Silent,      // open, but no pose for silence (none yet, glove off, receiver gone)
};

class ReceiverFeed : private SessionListener {
 public:
  using Clock = std::chrono::steady_clock;

  // Starts looking for the receiver at once.
  explicit ReceiverFeed(FeedTarget target, FeedOptions options = FeedOptions());
  // Closes the port and releases the driver; returns once the feed's thread
  // has ended: at once while waiting, after the open when opening (at most
  // the driver's 10 s report wait), after a command that is running.
  ~ReceiverFeed() override;
  ReceiverFeed(const ReceiverFeed&) = delete;
  ReceiverFeed& operator=(const ReceiverFeed&) = delete;

  const FeedTarget& target() const { return target_; }
  FeedState state() const;
  // The port open now; empty strings when none is.
  PortInfo port() const;
  // The result of the last attempt to find and open the receiver: 0 once
  // open; 7 missing; 4 refused; 6 no channel report.
  EIMUError lastError() const { return lastError_.load(); }
  // Successful opens so far (1 + reconnections).
  uint64_t opens() const { return opens_.load(); }

  // The newest pose since the last call; false, and pose untouched, when
  // none came.
  bool TakePose(Pose& pose) { return latest_.Take(pose); }
  // Poses delivered so far, and when the last one came.
  uint64_t poseCount() const { return poses_.load(); }
  Clock::time_point lastPoseTime() const { return Clock::time_point(Clock::duration(lastPose_.load())); }

  // Commands on the open driver; each returns 5 (IMUError_PortNotOpen)
  // when no receiver is open. AlignFingers straightens the long fingers'
  // sideways angles in the last pose (OnOkPoseAlignment).
  EIMUError AlignFingers();
  EIMUError SaveCalibration();
  // One vibration command, or for a period one every 10 ms (blocking the
  // caller, and a reopen, for the period).
  EIMUError Vibrate(std::chrono::milliseconds period = std::chrono::milliseconds(0));
  // The bend of finger index (0 pinky ... 4 thumb) in degrees: 0 or 9.
  EIMUError FingerValue(int index, double& degrees);

 private:
  enum class Phase { Looking, Opening, Open };
  enum class End { Stop, Silent, Gone };

  void OnPose(const Pose& pose) override;
  void OnEvent(const IMUEvent& event) override;

  void Run();
  std::unique_ptr<GloveSession> NewSession();
  // A session streaming from the target, or none (lastError_ says why).
  std::unique_ptr<GloveSession> OpenTarget(PortInfo& port);
  // Watches the open receiver until the end, silence or its going.
  End Watch(const PortInfo& port);
  // Waits until the time or the end; true when the feed ends.
  bool WaitUntilOrStop(Clock::time_point until);
  bool Stopping();
  // The session open now, for the commands; null when none is.
  void Publish(GloveSession* session, const PortInfo& port);
  template <typename Command>
  EIMUError OnOpenDriver(Command command);

  const FeedTarget target_;
  const FeedOptions options_;

  std::atomic<Phase> phase_{Phase::Looking};
  std::atomic<EIMUError> lastError_{IMUError_PortNotFound};
  std::atomic<uint64_t> opens_{0};
  std::atomic<Clock::rep> openedAt_{0};
  LatestValue<Pose> latest_;
  std::atomic<uint64_t> poses_{0};
  std::atomic<Clock::rep> lastPose_{0};

  std::mutex commandMutex_;  // guards live_; held by each command
  GloveSession* live_ = nullptr;
  mutable std::mutex portMutex_;  // guards livePort_
  PortInfo livePort_;

  std::mutex stopMutex_;  // guards stopping_
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;  // last: starts once everything above exists
};

}  // namespace client
}  // namespace ZEMBRA
