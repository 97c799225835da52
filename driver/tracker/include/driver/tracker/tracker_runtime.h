// The tracker runtime as the driver uses it: exactly the calls tracker
// detection needs, so that a fake can stand in for OpenVR in tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace ZEMBRA {
namespace tracker {

// The runtime's values the driver relies on.
constexpr uint32_t kDeviceSlots = 64;
constexpr int32_t kClassGenericTracker = 3;
constexpr int32_t kPropSerialNumber = 1002;
constexpr int32_t kPropConnectedWirelessDongle = 1009;
constexpr int32_t kPropDeviceIsWireless = 1010;
constexpr int32_t kPropertySuccess = 0;
constexpr uint32_t kEventDeviceActivated = 100;
constexpr uint32_t kEventDeviceDeactivated = 101;
// The runtime never reports a longer string property than this.
constexpr uint32_t kMaxStringProperty = 32768;

// The two fields of a runtime event the driver reads.
struct DeviceEvent {
  uint32_t type = 0;
  uint32_t deviceIndex = 0;
};

class ITrackerRuntime {
 public:
  virtual ~ITrackerRuntime() = default;
  // One initialisation attempt: loads the runtime if needed and obtains the
  // system interface. On failure returns false with the runtime's error code.
  virtual bool Init(int32_t& error) = 0;
  // English description of an initialisation error.
  virtual std::string ErrorText(int32_t error) = 0;

  // The calls below are only made after Init succeeded.
  virtual int32_t GetTrackedDeviceClass(uint32_t deviceIndex) = 0;
  virtual bool IsTrackedDeviceConnected(uint32_t deviceIndex) = 0;
  // propertyError may be null.
  virtual bool GetBoolTrackedDeviceProperty(uint32_t deviceIndex, int32_t property, int32_t* propertyError) = 0;
  // With a null buffer and size 0 returns the size needed, terminating zero
  // included; with a buffer, fills it and returns the same. 0 on failure.
  virtual uint32_t GetStringTrackedDeviceProperty(uint32_t deviceIndex, int32_t property, char* buffer,
                                                  uint32_t bufferSize, int32_t* propertyError) = 0;
  // Takes the next pending event; false when none is pending.
  virtual bool PollNextEvent(DeviceEvent& event) = 0;
};

// The production runtime: the OpenVR library loaded at run time. The library
// is libraryPath when given, else the file named by ZEMBRA_OPENVR_LIBRARY,
// else "libopenvr_api.so" on the loader's path. Once initialised, the runtime
// stays initialised until this object goes.
std::unique_ptr<ITrackerRuntime> MakeOpenVRRuntime(const std::string& libraryPath = std::string());

}  // namespace tracker
}  // namespace ZEMBRA
