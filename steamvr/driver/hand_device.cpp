#include "hand_device.h"

namespace ZEMBRA {
namespace steamvr_driver {

namespace {

const char* Side(HandType hand) { return hand == Hand_Right ? "right" : "left"; }

vr::DriverPose_t NoPose(bool connected) {
  vr::DriverPose_t pose{};
  pose.qWorldFromDriverRotation.w = 1;
  pose.qDriverFromHeadRotation.w = 1;
  pose.qRotation.w = 1;
  pose.result = vr::TrackingResult_Running_OutOfRange;
  pose.poseIsValid = false;
  pose.deviceIsConnected = connected;
  return pose;
}

void ToOpenVR(const rigid::Vec3& v, double (&out)[3]) {
  out[0] = v.x;
  out[1] = v.y;
  out[2] = v.z;
}

vr::VRBoneTransform_t ToOpenVR(const rigid::Transform& t) {
  vr::VRBoneTransform_t bone;
  bone.position = {{float(t.position.x), float(t.position.y), float(t.position.z), 1.0f}};
  bone.orientation.w = float(t.rotation.w);
  bone.orientation.x = float(t.rotation.x);
  bone.orientation.y = float(t.rotation.y);
  bone.orientation.z = float(t.rotation.z);
  return bone;
}

}  // namespace

HandDevice::HandDevice(const Host& host, HandType hand, const DriverSettings& settings, std::string serial,
                       client::FeedTarget target)
    : host_(host),
      hand_(hand),
      emulateIndex_(settings.emulateIndex),
      serial_(std::move(serial)),
      mapper_(hand, settings.mapping) {
  for (auto& component : components_) component.store(vr::k_ulInvalidInputComponentHandle);
  client::FeedOptions options;
  options.mode = settings.measureSpread ? client::kAdvancedGloveMode : client::kGloveMode;
  options.onPose = [this](const Pose& pose) { OnGlovePose(pose); };
  feed_ = std::make_unique<client::ReceiverFeed>(std::move(target), std::move(options));
}

HandDevice::~HandDevice() { feed_.reset(); }

vr::EVRInitError HandDevice::Activate(uint32_t objectId) {
  const vr::PropertyContainerHandle_t container = host_.properties->TrackedDeviceToPropertyContainer(objectId);
  SetProperties(container);
  CreateComponents(container);
  container_.store(container);
  objectId_.store(objectId);
  active_.store(true, std::memory_order_release);
  Log(host_, "%s hand %s active as device %u", Side(hand_), serial_.c_str(), objectId);
  return vr::VRInitError_None;
}

void HandDevice::Deactivate() {
  active_.store(false);
  objectId_.store(vr::k_unTrackedDeviceIndexInvalid);
  Log(host_, "%s hand %s deactivated", Side(hand_), serial_.c_str());
}

void* HandDevice::GetComponent(const char*) { return nullptr; }

void HandDevice::DebugRequest(const char*, char* response, uint32_t responseSize) {
  if (response && responseSize > 0) response[0] = '\0';
}

vr::DriverPose_t HandDevice::GetPose() { return NoPose(gloveState() == client::FeedState::Streaming); }

void HandDevice::SetProperties(vr::PropertyContainerHandle_t c) {
  vr::CVRPropertyHelpers& p = *host_.properties;
  const bool right = hand_ == Hand_Right;
  p.SetStringProperty(c, vr::Prop_TrackingSystemName_String, "zembra");
  p.SetStringProperty(c, vr::Prop_SerialNumber_String, serial_.c_str());
  p.SetInt32Property(c, vr::Prop_ControllerRoleHint_Int32,
                     right ? vr::TrackedControllerRole_RightHand : vr::TrackedControllerRole_LeftHand);
  p.SetBoolProperty(c, vr::Prop_WillDriftInYaw_Bool, false);
  p.SetBoolProperty(c, vr::Prop_DeviceProvidesBatteryStatus_Bool, false);
  if (emulateIndex_) {
    // What titles look for to give a hand finger tracking.
    p.SetStringProperty(c, vr::Prop_ManufacturerName_String, "Valve");
    p.SetStringProperty(c, vr::Prop_ModelNumber_String, right ? "Knuckles Right" : "Knuckles Left");
    p.SetStringProperty(c, vr::Prop_ControllerType_String, "knuckles");
    p.SetStringProperty(c, vr::Prop_InputProfilePath_String, "{indexcontroller}/input/index_controller_profile.json");
    p.SetStringProperty(
        c, vr::Prop_RenderModelName_String,
        right ? "{indexcontroller}valve_controller_knu_1_0_right" : "{indexcontroller}valve_controller_knu_1_0_left");
  } else {
    p.SetStringProperty(c, vr::Prop_ManufacturerName_String, "ZEMBRA");
    p.SetStringProperty(c, vr::Prop_ModelNumber_String, right ? "ZEMBRA Glove Right" : "ZEMBRA Glove Left");
    p.SetStringProperty(c, vr::Prop_ControllerType_String, "zembra_glove");
    p.SetStringProperty(c, vr::Prop_InputProfilePath_String, "{zembra}/input/zembra_glove_profile.json");
  }
  // The glove icons of the configuration tool: not found, found, streaming.
  const std::string icons = std::string("{zembra}/icons/") + (right ? "right" : "left");
  const std::string off = icons + "_glove_off.png", searching = icons + "_glove_searching.png",
                    ready = icons + "_glove_ready.png";
  p.SetStringProperty(c, vr::Prop_NamedIconPathDeviceOff_String, off.c_str());
  p.SetStringProperty(c, vr::Prop_NamedIconPathDeviceSearching_String, searching.c_str());
  p.SetStringProperty(c, vr::Prop_NamedIconPathDeviceSearchingAlert_String, searching.c_str());
  p.SetStringProperty(c, vr::Prop_NamedIconPathDeviceReady_String, ready.c_str());
  p.SetStringProperty(c, vr::Prop_NamedIconPathDeviceReadyAlert_String, ready.c_str());
  p.SetStringProperty(c, vr::Prop_NamedIconPathDeviceNotReady_String, searching.c_str());
  p.SetStringProperty(c, vr::Prop_NamedIconPathDeviceStandby_String, off.c_str());
  p.SetStringProperty(c, vr::Prop_NamedIconPathDeviceAlertLow_String, ready.c_str());
}

void HandDevice::CreateComponents(vr::PropertyContainerHandle_t container) {
  vr::IVRDriverInput& input = *host_.input;
  const bool right = hand_ == Hand_Right;
  vr::VRInputComponentHandle_t handle = vr::k_ulInvalidInputComponentHandle;
  // No grip limit: SteamVR then takes its own fist as the limit, which is
  // the reference fist the mapping closes towards.
  input.CreateSkeletonComponent(container, right ? "/input/skeleton/right" : "/input/skeleton/left",
                                right ? "/skeleton/hand/right" : "/skeleton/hand/left", "/pose/raw",
                                vr::VRSkeletalTracking_Full, nullptr, 0, &handle);
  components_[kSkeleton].store(handle);
  const struct {
    Component component;
    const char* name;
  } scalars[] = {{kIndexCurl, "/input/finger/index"}, {kMiddleCurl, "/input/finger/middle"},
                 {kRingCurl, "/input/finger/ring"},   {kPinkyCurl, "/input/finger/pinky"},
                 {kTrigger, "/input/trigger/value"},  {kGrip, "/input/grip/value"}};
  for (const auto& scalar : scalars) {
    handle = vr::k_ulInvalidInputComponentHandle;
    input.CreateScalarComponent(container, scalar.name, &handle, vr::VRScalarType_Absolute,
                                vr::VRScalarUnits_NormalizedOneSided);
    components_[scalar.component].store(handle);
  }
}

void HandDevice::OnGlovePose(const Pose& pose) {
  if (!active_.load(std::memory_order_acquire)) return;
  const skeleton::HandSkeleton hand = mapper_.Map(pose);
  vr::VRBoneTransform_t bones[skeleton::kBoneCount];
  for (int b = 0; b < skeleton::kBoneCount; ++b) bones[b] = ToOpenVR(hand.bones[b]);
  vr::IVRDriverInput& input = *host_.input;
  const vr::VRInputComponentHandle_t skeleton = components_[kSkeleton].load();
  // A glove has no controller in the hand: both ranges are the hand itself.
  input.UpdateSkeletonComponent(skeleton, vr::VRSkeletalMotionRange_WithController, bones, skeleton::kBoneCount);
  input.UpdateSkeletonComponent(skeleton, vr::VRSkeletalMotionRange_WithoutController, bones, skeleton::kBoneCount);
  const double values[] = {hand.curl[skeleton::kIndex],
                           hand.curl[skeleton::kMiddle],
                           hand.curl[skeleton::kRing],
                           hand.curl[skeleton::kPinky],
                           hand.trigger,
                           hand.grip};
  for (int c = kIndexCurl; c <= kGrip; ++c)
    input.UpdateScalarComponent(components_[c].load(), float(values[c - kIndexCurl]), 0.0);
}

void HandDevice::UpdatePose(const placement::Motion* device) {
  const uint32_t objectId = objectId_.load();
  if (objectId == vr::k_unTrackedDeviceIndexInvalid || !active_.load(std::memory_order_acquire)) return;
  vr::DriverPose_t pose = NoPose(gloveState() == client::FeedState::Streaming);
  if (device) {
    ToOpenVR(device->pose.position, pose.vecPosition);
    pose.qRotation.w = device->pose.rotation.w;
    pose.qRotation.x = device->pose.rotation.x;
    pose.qRotation.y = device->pose.rotation.y;
    pose.qRotation.z = device->pose.rotation.z;
    ToOpenVR(device->velocity, pose.vecVelocity);
    ToOpenVR(device->angularVelocity, pose.vecAngularVelocity);
    pose.result = vr::TrackingResult_Running_OK;
    pose.poseIsValid = true;
  }
  host_.server->TrackedDevicePoseUpdated(objectId, pose, sizeof pose);
}

void HandDevice::FollowUniverse(uint64_t universeId) {
  const vr::PropertyContainerHandle_t container = container_.load();
  if (container == vr::k_ulInvalidPropertyContainer) return;
  host_.properties->SetUint64Property(container, vr::Prop_CurrentUniverseId_Uint64, universeId);
}

}  // namespace steamvr_driver
}  // namespace ZEMBRA
