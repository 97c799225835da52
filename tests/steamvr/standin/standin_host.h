// A stand-in for SteamVR's server, from Valve's driver header alone: it
// loads a driver library (dlopen, LoadLibrary on Windows), asks its
// HmdDriverFactory for the device provider, and gives it a driver context
// that answers every interface the header's context set-up asks for
// (server driver host, settings, properties, driver input, log, manager,
// resources). It serves device slots of its own (trackers, a headset) with
// poses the test sets, adds and activates the devices the driver adds, and
// records what the driver sets and updates. Serve() runs the server's
// loop: activations and RunFrame, about 90 times a second.
//
// Settings start from the driver folder's resources/settings/
// default.vrsettings, as SteamVR's do; a test may change them before Init.
//
// Threads: the driver may call every interface from any thread; the
// records are guarded by one lock. The test calls Serve, Init and Cleanup
// from one thread, the server's.
#pragma once

#include <openvr_driver.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/dynamic_library.h"

namespace ZEMBRA {
namespace standin {

constexpr uint32_t kSlots = vr::k_unMaxTrackedDeviceCount;

struct Property {
  vr::PropertyTypeTag_t tag = 0;
  std::vector<uint8_t> bytes;
};

struct Component {
  vr::PropertyContainerHandle_t container = 0;
  std::string name;
  std::string kind;  // "skeleton", "scalar", "boolean", "haptic", "pose"
  std::string skeletonPath, basePosePath;
  vr::EVRSkeletalTrackingLevel trackingLevel = vr::VRSkeletalTracking_Estimated;
  vr::EVRScalarUnits units = vr::VRScalarUnits_NormalizedOneSided;
  vr::VRInputComponentHandle_t handle = 0;
};

struct SkeletonRecord {
  uint64_t updates = 0;
  uint32_t boneCount = 0;
  std::vector<vr::VRBoneTransform_t> bones;  // the last update
  std::chrono::steady_clock::time_point last;
};

struct ScalarRecord {
  uint64_t updates = 0;
  float value = 0;
};

struct PoseRecord {
  uint64_t updates = 0;
  vr::DriverPose_t pose{};  // the last one
  std::chrono::steady_clock::time_point first, last;
};

// A device slot: one the test serves, or one the driver added.
struct Slot {
  bool used = false;
  bool ours = false;  // served by the test (a tracker, a headset)
  vr::ETrackedDeviceClass deviceClass = vr::TrackedDeviceClass_Invalid;
  std::string serial;
  vr::ITrackedDeviceServerDriver* driver = nullptr;  // for the driver's devices
  bool activated = false;
  vr::TrackedDevicePose_t pose{};  // what GetRawTrackedDevicePoses reports
  PoseRecord updates;              // the driver's poses for its devices
};

class StandinHost {
 public:
  // driverFolder: the folder holding driver.vrdrivermanifest.
  explicit StandinHost(std::string driverFolder);
  ~StandinHost();
  StandinHost(const StandinHost&) = delete;
  StandinHost& operator=(const StandinHost&) = delete;

  // Loads bin/<platform>/driver_<name> and asks it for the provider; false
  // (error() says why) when either fails.
  bool Load();
  const std::string& error() const { return error_; }
  vr::IServerTrackedDeviceProvider* provider() const { return provider_; }
  vr::EVRInitError Init();
  void Cleanup();
  // The server's loop: pending activations and RunFrame every 11 ms until
  // done() holds or the time is up; false on time-out. RunFrame's own
  // times are kept (runFrameTimes).
  bool Serve(const std::function<bool()>& done, std::chrono::milliseconds limit);
  std::vector<double> runFrameMicroseconds() const;

  // The test's own devices.
  uint32_t AddDevice(vr::ETrackedDeviceClass deviceClass, const std::string& serial, uint64_t universe = 0);
  void SetPose(uint32_t slot, const vr::TrackedDevicePose_t& pose);
  void SetConnected(uint32_t slot, bool connected);

  // Called on the driver's thread at every skeleton update, before it is
  // recorded; set it before Init.
  std::function<void(vr::VRInputComponentHandle_t, vr::EVRSkeletalMotionRange)> onSkeletonUpdate;

  void SetSetting(const std::string& section, const std::string& key, const std::string& value);
  void SetSetting(const std::string& section, const std::string& key, double value);
  void SetSetting(const std::string& section, const std::string& key, bool value);

  // What the driver did.
  std::vector<uint32_t> DriverDevices() const;  // slots of the devices it added, in order
  Slot slot(uint32_t index) const;
  std::optional<Property> property(uint32_t slot, vr::ETrackedDeviceProperty prop) const;
  std::string stringProperty(uint32_t slot, vr::ETrackedDeviceProperty prop) const;
  std::vector<Component> components(uint32_t slot) const;
  std::optional<Component> component(uint32_t slot, const std::string& name) const;
  SkeletonRecord skeleton(vr::VRInputComponentHandle_t handle, vr::EVRSkeletalMotionRange range) const;
  ScalarRecord scalar(vr::VRInputComponentHandle_t handle) const;
  std::vector<std::string> log() const;
  std::vector<std::string> interfacesAsked() const;
  static vr::PropertyContainerHandle_t ContainerOf(uint32_t slot) { return 0x100000000ull + slot; }

 private:
  class Interfaces;
  friend class Interfaces;

  std::string folder_;
  platform::DynamicLibrary library_;
  vr::IServerTrackedDeviceProvider* provider_ = nullptr;
  std::string error_;
  std::unique_ptr<Interfaces> interfaces_;
  std::vector<double> runFrameMicroseconds_;
};

}  // namespace standin
}  // namespace ZEMBRA
