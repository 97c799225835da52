// The SteamVR driver library loaded by the stand-in server against
// simulated gloves in a device tree of the test's own: the two devices
// with their properties, input profile and components; the 31-bone
// skeleton of an open hand and of a fist against SteamVR's reference hand;
// the devices on moving stand-in wrist trackers with their offsets, or not
// valid without one while the skeleton goes on; a glove pulled out and
// plugged in again; and Cleanup leaving no thread or descriptor, with a
// second Init after it. Threaded: it runs under ThreadSanitizer.
#include <gtest/gtest.h>
#include <json/json.h>

#include <fstream>
#include <set>

#include "steamvr/placement/placement.h"
#include "steamvr/skeleton/reference_hand.h"
#include "tests/client/client_test_support.h"
#include "tests/steamvr/engine_pose.h"
#include "tests/steamvr/standin/standin_host.h"

namespace ZEMBRA {
namespace {

using namespace std::chrono_literals;
using rigid::Vec3;
using standin::StandinHost;

constexpr const char* kSection = "driver_zembra";
constexpr auto kLimit = 20s;

rigid::Transform FromBone(const vr::VRBoneTransform_t& b) {
  return {{b.position.v[0], b.position.v[1], b.position.v[2]},
          rigid::Normalised({b.orientation.x, b.orientation.y, b.orientation.z, b.orientation.w})};
}

rigid::Transform FromDriverPose(const vr::DriverPose_t& p) {
  return {{p.vecPosition[0], p.vecPosition[1], p.vecPosition[2]},
          {p.qRotation.x, p.qRotation.y, p.qRotation.z, p.qRotation.w}};
}

vr::TrackedDevicePose_t TrackerPose(const rigid::Transform& t, const Vec3& velocity, const Vec3& turnRate) {
  vr::TrackedDevicePose_t pose{};
  const Vec3 axes[3] = {rigid::Rotate(t.rotation, {1, 0, 0}), rigid::Rotate(t.rotation, {0, 1, 0}),
                        rigid::Rotate(t.rotation, {0, 0, 1})};
  const double position[3] = {t.position.x, t.position.y, t.position.z};
  for (int row = 0; row < 3; ++row) {
    pose.mDeviceToAbsoluteTracking.m[row][0] = float(row == 0 ? axes[0].x : row == 1 ? axes[0].y : axes[0].z);
    pose.mDeviceToAbsoluteTracking.m[row][1] = float(row == 0 ? axes[1].x : row == 1 ? axes[1].y : axes[1].z);
    pose.mDeviceToAbsoluteTracking.m[row][2] = float(row == 0 ? axes[2].x : row == 1 ? axes[2].y : axes[2].z);
    pose.mDeviceToAbsoluteTracking.m[row][3] = float(position[row]);
  }
  pose.vVelocity = {{float(velocity.x), float(velocity.y), float(velocity.z)}};
  pose.vAngularVelocity = {{float(turnRate.x), float(turnRate.y), float(turnRate.z)}};
  pose.eTrackingResult = vr::TrackingResult_Running_OK;
  pose.bPoseIsValid = true;
  pose.bDeviceIsConnected = true;
  return pose;
}

class SteamVRDriverTest : public clienttest::DeviceTreeTest {
 protected:
  // Both gloves, holding the pose.
  void PlugInBoth(sim::HandMotion motion) {
    sim::SimulatorConfig config;
    config.motion = motion;
    left_ = PlugIn(Hand_Left, "ttyUSB0", "ZEMBRA-LH0-0000", config);
    right_ = PlugIn(Hand_Right, "ttyUSB1", "ZEMBRA-RH0-0001", config);
  }
  void Start() {
    ASSERT_TRUE(host_.Load()) << host_.error();
    ASSERT_EQ(host_.Init(), vr::VRInitError_None);
    ASSERT_TRUE(host_.Serve([&] { return Devices().size() == 2 && host_.slot(Devices()[1]).activated; }, kLimit));
  }
  std::vector<uint32_t> Devices() const { return host_.DriverDevices(); }
  uint32_t DeviceOf(HandType hand) const {
    for (uint32_t s : Devices()) {
      const auto role = host_.property(s, vr::Prop_ControllerRoleHint_Int32);
      int32_t value = 0;
      if (role && role->bytes.size() == sizeof value) std::memcpy(&value, role->bytes.data(), sizeof value);
      if (value == (hand == Hand_Right ? vr::TrackedControllerRole_RightHand : vr::TrackedControllerRole_LeftHand))
        return s;
    }
    return standin::kSlots;
  }
  vr::VRInputComponentHandle_t Handle(HandType hand, const std::string& name) const {
    const auto c = host_.component(DeviceOf(hand), name);
    return c ? c->handle : 0;
  }
  const char* SkeletonName(HandType hand) const {
    return hand == Hand_Right ? "/input/skeleton/right" : "/input/skeleton/left";
  }
  standin::SkeletonRecord Skeleton(HandType hand,
                                   vr::EVRSkeletalMotionRange range = vr::VRSkeletalMotionRange_WithoutController) {
    return host_.skeleton(Handle(hand, SkeletonName(hand)), range);
  }
  // Waits, serving, until the hand's skeleton has been updated `more` times.
  bool SkeletonMoves(HandType hand, uint64_t more = 20) {
    const uint64_t from = Skeleton(hand).updates;
    return host_.Serve([&] { return Skeleton(hand).updates >= from + more; }, kLimit);
  }
  void ReadBones(HandType hand, skeleton::Bones& bones) {
    const standin::SkeletonRecord r = Skeleton(hand);
    for (int b = 0; b < skeleton::kBoneCount && b < int(r.bones.size()); ++b) bones[b] = FromBone(r.bones[size_t(b)]);
  }
  vr::DriverPose_t PoseOf(HandType hand) { return host_.slot(DeviceOf(hand)).updates.pose; }

  StandinHost host_{ZEMBRA_STEAMVR_FOLDER};
  std::unique_ptr<sim::ReceiverSimulator> left_, right_;
};

TEST_F(SteamVRDriverTest, TwoHandDevicesWithTheirPropertiesProfileAndSkeleton) {
  PlugInBoth(sim::HandMotion::Moving);
  Start();
  // Every interface the header's context set-up asks for was answered.
  const std::vector<std::string> asked = host_.interfacesAsked();
  for (const char* version :
       {vr::IVRServerDriverHost_Version, vr::IVRSettings_Version, vr::IVRProperties_Version, vr::IVRDriverLog_Version,
        vr::IVRDriverManager_Version, vr::IVRResources_Version, vr::IVRDriverInput_Version})
    EXPECT_NE(std::find(asked.begin(), asked.end(), version), asked.end()) << version;

  ASSERT_EQ(Devices().size(), 2u);
  for (HandType hand : {Hand_Left, Hand_Right}) {
    const uint32_t device = DeviceOf(hand);
    ASSERT_LT(device, standin::kSlots) << hand;
    const standin::Slot slot = host_.slot(device);
    EXPECT_EQ(slot.deviceClass, vr::TrackedDeviceClass_Controller);
    // The receiver's own serial: the same on every start.
    EXPECT_EQ(slot.serial, hand == Hand_Right ? "zembra-ZEMBRA-RH0-0001" : "zembra-ZEMBRA-LH0-0000");
    EXPECT_EQ(host_.stringProperty(device, vr::Prop_SerialNumber_String), slot.serial);
    // emulate_index is on by default.
    EXPECT_EQ(host_.stringProperty(device, vr::Prop_ControllerType_String), "knuckles");
    EXPECT_EQ(host_.stringProperty(device, vr::Prop_InputProfilePath_String),
              "{indexcontroller}/input/index_controller_profile.json");

    const auto skeleton = host_.component(device, SkeletonName(hand));
    ASSERT_TRUE(skeleton);
    EXPECT_EQ(skeleton->kind, "skeleton");
    EXPECT_EQ(skeleton->skeletonPath, hand == Hand_Right ? "/skeleton/hand/right" : "/skeleton/hand/left");
    EXPECT_EQ(skeleton->basePosePath, "/pose/raw");
    EXPECT_EQ(skeleton->trackingLevel, vr::VRSkeletalTracking_Full);
    for (const char* name : {"/input/finger/index", "/input/finger/middle", "/input/finger/ring", "/input/finger/pinky",
                             "/input/trigger/value", "/input/grip/value"}) {
      const auto scalar = host_.component(device, name);
      ASSERT_TRUE(scalar) << name;
      EXPECT_EQ(scalar->kind, "scalar");
      EXPECT_EQ(scalar->units, vr::VRScalarUnits_NormalizedOneSided);
    }
    // Every pose updates the skeleton in both ranges, 31 bones each, and
    // the scalars.
    ASSERT_TRUE(SkeletonMoves(hand));
    for (auto range : {vr::VRSkeletalMotionRange_WithController, vr::VRSkeletalMotionRange_WithoutController}) {
      const standin::SkeletonRecord r = Skeleton(hand, range);
      EXPECT_EQ(r.boneCount, uint32_t(skeleton::kBoneCount));
      EXPECT_GE(r.updates, 20u);
    }
    const standin::ScalarRecord index = host_.scalar(Handle(hand, "/input/finger/index"));
    EXPECT_GE(index.updates, 19u);  // the scalars follow the skeleton on the same thread
    EXPECT_GE(index.value, 0.0f);
    EXPECT_LE(index.value, 1.0f);
  }
  // The log tells what happened.
  bool streaming = false;
  for (const std::string& line : host_.log()) streaming |= line.find("left glove: streaming from") == 0;
  EXPECT_TRUE(streaming);

  // Without emulation the devices present our own profile, and every
  // component they create has its input source there.
  host_.Cleanup();
  host_.SetSetting(kSection, "emulate_index", false);
  ASSERT_EQ(host_.Init(), vr::VRInitError_None);
  ASSERT_TRUE(host_.Serve([&] { return Devices().size() == 2 && host_.slot(Devices()[1]).activated; }, kLimit));
  const uint32_t device = DeviceOf(Hand_Left);
  EXPECT_EQ(host_.stringProperty(device, vr::Prop_ControllerType_String), "zembra_glove");
  const std::string profilePath = host_.stringProperty(device, vr::Prop_InputProfilePath_String);
  ASSERT_EQ(profilePath.rfind("{zembra}/", 0), 0u);
  std::ifstream file(std::string(ZEMBRA_STEAMVR_FOLDER) + "/resources/" + profilePath.substr(9));
  Json::Value profile;
  ASSERT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), file, &profile, nullptr));
  EXPECT_EQ(profile["controller_type"].asString(), "zembra_glove");
  for (const standin::Component& c : host_.components(device)) {
    std::string source = c.name;
    if (!profile["input_source"].isMember(source)) source = source.substr(0, source.rfind('/'));
    EXPECT_TRUE(profile["input_source"].isMember(source)) << c.name;
  }
  for (const std::string& icon : {host_.stringProperty(device, vr::Prop_NamedIconPathDeviceReady_String),
                                  host_.stringProperty(device, vr::Prop_NamedIconPathDeviceOff_String)}) {
    ASSERT_EQ(icon.rfind("{zembra}/", 0), 0u) << icon;
    EXPECT_TRUE(std::ifstream(std::string(ZEMBRA_STEAMVR_FOLDER) + "/resources/" + icon.substr(9)).good()) << icon;
  }
  host_.Cleanup();
}

TEST_F(SteamVRDriverTest, AnOpenHandIsTheReferenceOpenHandBoneByBone) {
  PlugInBoth(sim::HandMotion::Open);
  Start();
  for (HandType hand : {Hand_Left, Hand_Right}) {
    ASSERT_TRUE(SkeletonMoves(hand));
    const skeleton::ReferenceHand reference = skeleton::LoadReferenceHand(hand);
    skeleton::Bones open;
    ReadBones(hand, open);
    for (int b = 0; b < skeleton::kBoneCount; ++b)
      EXPECT_LT(rigid::AngleBetween(open[b].rotation, reference.open[b].rotation), 10.0) << hand << " bone " << b;
    EXPECT_LT(host_.scalar(Handle(hand, "/input/grip/value")).value, 0.05f);
    EXPECT_LT(host_.scalar(Handle(hand, "/input/trigger/value")).value, 0.05f);
  }
  host_.Cleanup();
}

TEST_F(SteamVRDriverTest, AFistClosesEveryFingertipOnTheReferenceFist) {
  PlugInBoth(sim::HandMotion::Fist);
  Start();
  for (HandType hand : {Hand_Left, Hand_Right}) {
    ASSERT_TRUE(SkeletonMoves(hand));
    const skeleton::ReferenceHand reference = skeleton::LoadReferenceHand(hand);
    skeleton::Bones fist;
    ReadBones(hand, fist);
    // Forward kinematics of the 31 bones: every fingertip goes most of the
    // way from the reference open hand's to the reference fist's.
    for (int tip : steamvrtest::kTips) {
      const Vec3 from = steamvrtest::Tip(reference.open, tip), to = steamvrtest::Tip(reference.fist, tip);
      const Vec3 at = steamvrtest::Tip(fist, tip);
      EXPECT_LT(rigid::Length(at - to), 0.25 * rigid::Length(from - to)) << hand << " tip " << tip;
    }
    EXPECT_GT(host_.scalar(Handle(hand, "/input/trigger/value")).value, 0.95f);
    EXPECT_GT(host_.scalar(Handle(hand, "/input/grip/value")).value, 0.95f);
  }
  host_.Cleanup();
}

TEST_F(SteamVRDriverTest, EachHandFollowsItsWristTrackerWithTheOffsetOrIsNotValidWithoutOne) {
  PlugInBoth(sim::HandMotion::Moving);
  host_.AddDevice(vr::TrackedDeviceClass_HMD, "HMD-1");
  const uint32_t first = host_.AddDevice(vr::TrackedDeviceClass_GenericTracker, "LHR-FIRST", 7);
  const uint32_t second = host_.AddDevice(vr::TrackedDeviceClass_GenericTracker, "LHR-SECOND", 7);
  // The right hand's offset from the settings.
  host_.SetSetting(kSection, "right_offset_position_x", 0.05);
  host_.SetSetting(kSection, "right_offset_rotation_y", 30.0);
  Start();

  placement::WristOffset rightOffset = placement::DefaultWristOffset(Hand_Right);
  rightOffset.x = 0.05;
  rightOffset.rotateY = 30;
  const struct {
    HandType hand;
    uint32_t tracker;
    placement::WristOffset offset;
  } hands[] = {{Hand_Left, first, placement::DefaultWristOffset(Hand_Left)}, {Hand_Right, second, rightOffset}};

  // The trackers move; each device follows its own with its offset.
  for (int step = 0; step < 3; ++step) {
    const Vec3 velocity{0.2, 0, -0.1}, turn{0, 1.5, 0};
    for (const auto& h : hands) {
      const rigid::Transform tracker{{0.1 * step + (h.hand == Hand_Right ? 0.3 : 0), 1.0, -0.2 * step},
                                     rigid::FromXyzDegrees(10.0 * step, 25.0 * step, -5)};
      host_.SetPose(h.tracker, TrackerPose(tracker, velocity, turn));
      const rigid::Transform toDevice =
          placement::TrackerToDevice(h.offset, skeleton::LoadReferenceHand(h.hand).open[skeleton::kWrist]);
      placement::Motion motion;
      motion.pose = tracker;
      motion.velocity = velocity;
      motion.angularVelocity = turn;
      const placement::Motion wanted = placement::FollowTracker(motion, toDevice);
      ASSERT_TRUE(host_.Serve(
          [&] {
            const vr::DriverPose_t p = PoseOf(h.hand);
            return p.poseIsValid && p.deviceIsConnected &&
                   rigid::Length(FromDriverPose(p).position - wanted.pose.position) < 1e-4;
          },
          kLimit))
          << h.hand << " step " << step;
      const vr::DriverPose_t p = PoseOf(h.hand);
      EXPECT_LT(rigid::AngleBetween(FromDriverPose(p).rotation, wanted.pose.rotation), 0.01);
      EXPECT_NEAR(p.vecVelocity[0], wanted.velocity.x, 1e-4);
      EXPECT_NEAR(p.vecVelocity[2], wanted.velocity.z, 1e-4);
      EXPECT_NEAR(p.vecAngularVelocity[1], 1.5, 1e-6);
      EXPECT_EQ(p.result, vr::TrackingResult_Running_OK);
    }
  }
  // The left tracker switched off: the left hand's pose is not valid, but
  // it stays connected and its skeleton goes on; the right hand keeps its
  // tracker.
  host_.SetConnected(first, false);
  ASSERT_TRUE(host_.Serve([&] { return !PoseOf(Hand_Left).poseIsValid; }, kLimit));
  EXPECT_TRUE(PoseOf(Hand_Left).deviceIsConnected);
  EXPECT_TRUE(SkeletonMoves(Hand_Left));
  EXPECT_TRUE(PoseOf(Hand_Right).poseIsValid);
  // Back on, it is the free left hand's again.
  host_.SetConnected(first, true);
  ASSERT_TRUE(host_.Serve([&] { return PoseOf(Hand_Left).poseIsValid; }, kLimit));
  host_.Cleanup();

  // A serial in the settings picks the tracker.
  host_.SetConnected(first, true);
  host_.SetSetting(kSection, "left_tracker_serial", std::string("LHR-SECOND"));
  ASSERT_EQ(host_.Init(), vr::VRInitError_None);
  ASSERT_TRUE(host_.Serve(
      [&] {
        return Devices().size() == 2 && PoseOf(Hand_Left).poseIsValid && PoseOf(Hand_Right).poseIsValid &&
               std::fabs(PoseOf(Hand_Left).vecPosition[0] - PoseOf(Hand_Right).vecPosition[0]) > 0.1;
      },
      kLimit));
  bool logged = false;
  for (const std::string& line : host_.log()) logged |= line == "left hand follows tracker LHR-SECOND (device 2)";
  EXPECT_TRUE(logged);
  host_.Cleanup();
}

TEST_F(SteamVRDriverTest, AGlovePulledOutGoesDisconnectedAndComesBackWhenPluggedIn) {
  PlugInBoth(sim::HandMotion::Moving);
  Start();
  ASSERT_TRUE(SkeletonMoves(Hand_Left));
  ASSERT_TRUE(host_.Serve([&] { return PoseOf(Hand_Left).deviceIsConnected; }, kLimit));

  PullOut(*left_, "ttyUSB0");
  ASSERT_TRUE(host_.Serve([&] { return !PoseOf(Hand_Left).deviceIsConnected; }, kLimit));
  const uint64_t stopped = Skeleton(Hand_Left).updates;
  EXPECT_TRUE(SkeletonMoves(Hand_Right));  // the other hand is not held up
  EXPECT_LE(Skeleton(Hand_Left).updates, stopped + 1);

  // Back under another name: the same device streams again.
  left_ = PlugIn(Hand_Left, "ttyUSB4", "ZEMBRA-LH0-0000");
  ASSERT_TRUE(host_.Serve([&] { return PoseOf(Hand_Left).deviceIsConnected; }, kLimit));
  EXPECT_TRUE(SkeletonMoves(Hand_Left));
  EXPECT_EQ(Devices().size(), 2u);
  host_.Cleanup();
}

TEST_F(SteamVRDriverTest, CleanupLeavesNothingBehindAndASecondInitWorks) {
  PlugInBoth(sim::HandMotion::Moving);
  ASSERT_TRUE(host_.Load()) << host_.error();
  const clienttest::Resources baseline = clienttest::CountResources();
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(host_.Init(), vr::VRInitError_None) << round;
    ASSERT_TRUE(host_.Serve([&] { return Devices().size() == 2 && host_.slot(Devices()[1]).activated; }, kLimit));
    ASSERT_TRUE(SkeletonMoves(Hand_Left)) << round;
    ASSERT_TRUE(SkeletonMoves(Hand_Right)) << round;
    host_.Cleanup();
    EXPECT_TRUE(clienttest::WaitFor([&] { return clienttest::CountResources() == baseline; }, 5s))
        << clienttest::CountResources() << " against " << baseline << " after round " << round;
  }
  // A provider whose Init never ran cleans up as nothing.
  host_.Cleanup();
  EXPECT_EQ(clienttest::CountResources(), baseline);
}

}  // namespace
}  // namespace ZEMBRA
