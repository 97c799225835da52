#include "provider.h"

#include <string>

#include "driver/client/receivers.h"
#include "hand_device.h"
#include "host.h"
#include "settings.h"
#include "wrist_tracking.h"

namespace ZEMBRA {
namespace steamvr_driver {

namespace {

// A device's serial number: the receiver's own, so that SteamVR keeps a
// hand's settings with its receiver; without a receiver at start-up, the
// hand's name (the first receiver of the hand found later serves it).
struct Identity {
  std::string serial;
  client::FeedTarget target;
};

Identity IdentityOf(HandType hand, const std::vector<client::Receiver>& receivers) {
  for (const client::Receiver& receiver : receivers) {
    if (receiver.hand == hand)
      return {"zembra-" + receiver.serial, client::FeedTarget::ById(receiver.port.instance_id)};
  }
  return {hand == Hand_Right ? "zembra-right" : "zembra-left", client::FeedTarget::FirstOf(hand)};
}

}  // namespace

class Provider::Running {
 public:
  explicit Running(const Host& host) : host_(host), settings_(ReadSettings(host)) {
    const std::vector<client::Receiver> receivers = client::ListReceivers();
    const Identity left = IdentityOf(Hand_Left, receivers), right = IdentityOf(Hand_Right, receivers);
    left_ = std::make_unique<HandDevice>(host, Hand_Left, settings_, left.serial, left.target);
    right_ = std::make_unique<HandDevice>(host, Hand_Right, settings_, right.serial, right.target);
    Log(host, "emulate_index %s, measure_spread %s", settings_.emulateIndex ? "on" : "off",
        settings_.measureSpread ? "on" : "off");
    for (HandDevice* hand : {left_.get(), right_.get()}) {
      if (!host.server->TrackedDeviceAdded(hand->serial().c_str(), vr::TrackedDeviceClass_Controller, hand))
        Log(host, "SteamVR refused the device %s", hand->serial().c_str());
    }
    tracking_ = std::make_unique<WristTracking>(host, settings_, *left_, *right_);
  }

  ~Running() {
    tracking_.reset();
    right_.reset();
    left_.reset();
  }

  void RunFrame() {
    // Nothing the driver answers comes as an event; keep the queue empty.
    vr::VREvent_t event;
    while (host_.server->PollNextEvent(&event, sizeof event)) {
    }
  }

 private:
  const Host host_;
  const DriverSettings settings_;
  std::unique_ptr<HandDevice> left_, right_;
  std::unique_ptr<WristTracking> tracking_;
};

Provider::Provider() = default;
Provider::~Provider() = default;

vr::EVRInitError Provider::Init(vr::IVRDriverContext* context) {
  if (running_) return vr::VRInitError_None;
  VR_INIT_SERVER_DRIVER_CONTEXT(context);
  Host host;
  host.server = vr::VRServerDriverHost();
  host.settings = vr::VRSettings();
  host.properties = vr::VRProperties();
  host.input = vr::VRDriverInput();
  host.log = vr::VRDriverLog();
  if (!host.input) {
    VR_CLEANUP_SERVER_DRIVER_CONTEXT();
    return vr::VRInitError_Init_InterfaceNotFound;
  }
  running_ = std::make_unique<Running>(host);
  return vr::VRInitError_None;
}

void Provider::Cleanup() {
  if (!running_) return;
  running_.reset();
  VR_CLEANUP_SERVER_DRIVER_CONTEXT();
}

void Provider::RunFrame() {
  if (running_) running_->RunFrame();
}

}  // namespace steamvr_driver
}  // namespace ZEMBRA
