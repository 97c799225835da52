#include "wrist_tracking.h"

namespace ZEMBRA {
namespace steamvr_driver {

namespace {

const char* Side(HandType hand) { return hand == Hand_Right ? "right" : "left"; }

placement::Motion ToMotion(const vr::TrackedDevicePose_t& pose) {
  const vr::HmdMatrix34_t& m = pose.mDeviceToAbsoluteTracking;
  double r[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r[i][j] = m.m[i][j];
  placement::Motion motion;
  motion.pose = {{m.m[0][3], m.m[1][3], m.m[2][3]}, rigid::FromMatrix(r)};
  motion.velocity = {pose.vVelocity.v[0], pose.vVelocity.v[1], pose.vVelocity.v[2]};
  motion.angularVelocity = {pose.vAngularVelocity.v[0], pose.vAngularVelocity.v[1], pose.vAngularVelocity.v[2]};
  return motion;
}

const char* GloveText(client::FeedState state) {
  switch (state) {
    case client::FeedState::NoReceiver:
      return "no receiver found, looking again every 2 s";
    case client::FeedState::Opening:
      return "opening the receiver";
    case client::FeedState::Streaming:
      return "streaming";
    case client::FeedState::Silent:
      return "no data from the glove";
  }
  return "";
}

}  // namespace

WristTracking::WristTracking(const Host& host, const DriverSettings& settings, HandDevice& left, HandDevice& right)
    : host_(host),
      assignment_(settings.left.trackerSerial, settings.right.trackerSerial),
      devices_(vr::k_unMaxTrackedDeviceCount) {
  HandDevice* devices[2] = {&left, &right};
  for (size_t i = 0; i < hands_.size(); ++i) {
    Hand& hand = hands_[i];
    hand.device = devices[i];
    const HandSettings& own = settings.of(hand.device->hand());
    const skeleton::ReferenceHand reference = skeleton::LoadReferenceHand(hand.device->hand());
    hand.trackerToDevice = placement::TrackerToDevice(own.offset, reference.open[skeleton::kWrist]);
  }
  for (uint32_t i = 0; i < devices_.size(); ++i) devices_[i].index = i;
  thread_ = std::thread([this] { Run(); });
}

WristTracking::~WristTracking() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void WristTracking::Run() {
  auto next = std::chrono::steady_clock::now();
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    lock.unlock();
    Tick();
    lock.lock();
    next += kPeriod;
    // After a stall, go on from now rather than catch up in a burst.
    const auto now = std::chrono::steady_clock::now();
    if (next < now) next = now;
    wake_.wait_until(lock, next, [this] { return stopping_; });
  }
}

void WristTracking::Tick() {
  vr::TrackedDevicePose_t poses[vr::k_unMaxTrackedDeviceCount] = {};
  host_.server->GetRawTrackedDevicePoses(0, poses, vr::k_unMaxTrackedDeviceCount);
  LearnDevices(poses);
  const placement::TrackerChoice choice = assignment_.Update(devices_);
  Follow(hands_[0], choice.left, poses);
  Follow(hands_[1], choice.right, poses);
}

void WristTracking::LearnDevices(const vr::TrackedDevicePose_t* poses) {
  for (uint32_t i = 0; i < vr::k_unMaxTrackedDeviceCount; ++i) {
    placement::TrackedDevice& device = devices_[i];
    device.connected = poses[i].bDeviceIsConnected;
    // A slot's class and serial never change once the device is added.
    if (!device.connected || known_[i]) continue;
    const vr::PropertyContainerHandle_t container = host_.properties->TrackedDeviceToPropertyContainer(i);
    vr::ETrackedPropertyError error = vr::TrackedProp_Success;
    const int32_t deviceClass = host_.properties->GetInt32Property(container, vr::Prop_DeviceClass_Int32, &error);
    if (error != vr::TrackedProp_Success || deviceClass == vr::TrackedDeviceClass_Invalid) continue;
    device.genericTracker = deviceClass == vr::TrackedDeviceClass_GenericTracker;
    device.serial = host_.properties->GetStringProperty(container, vr::Prop_SerialNumber_String);
    known_[i] = true;
  }
}

void WristTracking::Follow(Hand& hand, int tracker, const vr::TrackedDevicePose_t* poses) {
  const HandType side = hand.device->hand();
  if (tracker != hand.tracker || !hand.reported) {
    hand.tracker = tracker;
    hand.reported = true;
    if (tracker == placement::kNoTracker) {
      Log(host_, "%s hand: no wrist tracker, its pose is not valid", Side(side));
    } else {
      Log(host_, "%s hand follows tracker %s (device %d)", Side(side), devices_[size_t(tracker)].serial.c_str(),
          tracker);
      const vr::PropertyContainerHandle_t container = host_.properties->TrackedDeviceToPropertyContainer(tracker);
      vr::ETrackedPropertyError error = vr::TrackedProp_Success;
      const uint64_t universe =
          host_.properties->GetUint64Property(container, vr::Prop_CurrentUniverseId_Uint64, &error);
      if (error == vr::TrackedProp_Success) hand.device->FollowUniverse(universe);
    }
  }
  ReportGlove(hand);
  if (tracker == placement::kNoTracker || !poses[tracker].bPoseIsValid) {
    hand.device->UpdatePose(nullptr);
    return;
  }
  const placement::Motion device = placement::FollowTracker(ToMotion(poses[tracker]), hand.trackerToDevice);
  hand.device->UpdatePose(&device);
}

void WristTracking::ReportGlove(Hand& hand) {
  const client::FeedState state = hand.device->gloveState();
  if (hand.gloveReported && state == hand.glove) return;
  hand.glove = state;
  hand.gloveReported = true;
  const HandType side = hand.device->hand();
  if (state == client::FeedState::Streaming) {
    Log(host_, "%s glove: streaming from %s", Side(side), hand.device->glovePort().c_str());
  } else {
    Log(host_, "%s glove: %s", Side(side), GloveText(state));
  }
}

}  // namespace steamvr_driver
}  // namespace ZEMBRA
