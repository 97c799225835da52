// One hand: the Controller device SteamVR sees, fed by one glove. The glove
// is read through the driver library's public interface by a ReceiverFeed
// (one driver object, the receiver found again after it is pulled out);
// each of its poses becomes the skeleton, finger curls, trigger and grip on
// the glove's reader thread, at once. The wrist-tracking thread gives the
// device its pose.
//
// Threads: SteamVR calls Activate and Deactivate on its own thread;
// OnGlovePose runs on the glove's reader thread and UpdatePose on the
// wrist-tracking thread. Both check that the device is active; the
// component handles are atomic, so that a re-activation never races with a
// pose being delivered.
#pragma once

#include <openvr_driver.h>

#include <atomic>
#include <memory>
#include <string>

#include "driver/client/receiver_feed.h"
#include "host.h"
#include "settings.h"
#include "steamvr/placement/placement.h"
#include "steamvr/skeleton/hand_mapping.h"

namespace ZEMBRA {
namespace steamvr_driver {

class HandDevice final : public vr::ITrackedDeviceServerDriver {
 public:
  // Starts looking for the glove's receiver at once.
  HandDevice(const Host& host, HandType hand, const DriverSettings& settings, std::string serial,
             client::FeedTarget target);
  // Stops the feed (its port closed, its driver object released) first.
  ~HandDevice();
  HandDevice(const HandDevice&) = delete;
  HandDevice& operator=(const HandDevice&) = delete;

  vr::EVRInitError Activate(uint32_t objectId) override;
  void Deactivate() override;
  void EnterStandby() override {}
  void* GetComponent(const char* nameAndVersion) override;
  void DebugRequest(const char* request, char* response, uint32_t responseSize) override;
  vr::DriverPose_t GetPose() override;

  HandType hand() const { return hand_; }
  const std::string& serial() const { return serial_; }
  client::FeedState gloveState() const { return feed_->state(); }
  std::string glovePort() const { return feed_->port().port_name; }

  // The device's pose, or none (the pose not valid) when the hand has no
  // tracker; connected while the glove streams. From the tracking thread.
  void UpdatePose(const placement::Motion* device);
  // The tracker the hand follows, whose play space the device shares.
  void FollowUniverse(uint64_t universeId);

 private:
  enum Component : int { kSkeleton, kIndexCurl, kMiddleCurl, kRingCurl, kPinkyCurl, kTrigger, kGrip, kComponents };

  void SetProperties(vr::PropertyContainerHandle_t container);
  void CreateComponents(vr::PropertyContainerHandle_t container);
  // On the glove's reader thread.
  void OnGlovePose(const Pose& pose);

  const Host host_;
  const HandType hand_;
  const bool emulateIndex_;
  const std::string serial_;
  const skeleton::HandMapper mapper_;

  std::atomic<bool> active_{false};
  std::atomic<uint32_t> objectId_{vr::k_unTrackedDeviceIndexInvalid};
  std::atomic<vr::PropertyContainerHandle_t> container_{vr::k_ulInvalidPropertyContainer};
  std::atomic<vr::VRInputComponentHandle_t> components_[kComponents];
  std::unique_ptr<client::ReceiverFeed> feed_;  // last: it calls into the members above
};

}  // namespace steamvr_driver
}  // namespace ZEMBRA
