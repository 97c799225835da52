// The hands on their wrist trackers: a thread of its own that every 8 ms
// (125 poses a second; SteamVR wants at least 90) reads SteamVR's raw
// device poses through the driver host, learns each newly connected
// device's class and serial from its properties, chooses each hand's
// tracker (the serial in the settings, or the driver's rule: at start the
// lowest connected generic tracker for the left hand and the highest other
// for the right; later a tracker coming on fills a free hand, left first)
// and gives each hand device its pose: the tracker's pose times the hand's
// offset, with the tracker's velocities, or no valid pose without a
// tracker. It also reports, in SteamVR's log, each hand's tracker and
// glove as they change.
//
// Threads: the constructor starts the thread, the destructor stops and
// joins it (within one period). The hand devices must outlive it.
#pragma once

#include <openvr_driver.h>

#include <array>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hand_device.h"
#include "host.h"
#include "settings.h"
#include "steamvr/placement/placement.h"

namespace ZEMBRA {
namespace steamvr_driver {

class WristTracking {
 public:
  static constexpr std::chrono::microseconds kPeriod{8000};  // 125 poses a second per hand

  WristTracking(const Host& host, const DriverSettings& settings, HandDevice& left, HandDevice& right);
  ~WristTracking();
  WristTracking(const WristTracking&) = delete;
  WristTracking& operator=(const WristTracking&) = delete;

 private:
  struct Hand {
    HandDevice* device = nullptr;
    rigid::Transform trackerToDevice;
    int tracker = placement::kNoTracker;
    bool reported = false;  // the tracker (or its absence) reported
    client::FeedState glove = client::FeedState::NoReceiver;
    bool gloveReported = false;
  };

  void Run();
  void Tick();
  void LearnDevices(const vr::TrackedDevicePose_t* poses);
  void Follow(Hand& hand, int tracker, const vr::TrackedDevicePose_t* poses);
  void ReportGlove(Hand& hand);

  const Host host_;
  std::array<Hand, 2> hands_;
  placement::TrackerAssignment assignment_;
  std::vector<placement::TrackedDevice> devices_;  // one per device slot
  std::array<bool, vr::k_unMaxTrackedDeviceCount> known_{};

  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;  // last: starts once everything above exists
};

}  // namespace steamvr_driver
}  // namespace ZEMBRA
