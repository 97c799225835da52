// A test double of the driver's tracker runtime interface (what the
// driver asks of OpenVR), for the tracker tests: devices at any index (trackers, controllers,
// base stations; wireless or wired; any identifying string) and a queue of
// activation and deactivation events. Safe to script from one thread while
// the driver polls it on another.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "driver/tracker/tracker_runtime.h"

namespace ZEMBRA {
namespace testsupport {

class FakeTrackerRuntime final : public tracker::ITrackerRuntime {
 public:
  static constexpr int32_t kClassHmd = 1;
  static constexpr int32_t kClassController = 2;
  static constexpr int32_t kClassTracker = 3;
  static constexpr int32_t kClassBaseStation = 4;

  // How the string property of a device misbehaves.
  enum class PropertyFault { None, SizeCallFails, SecondCallFails, SecondCallGrows, NoTerminator };

  struct Device {
    int32_t deviceClass = kClassTracker;
    bool connected = true;
    bool wireless = false;
    std::string dongle;  // identifying string when wireless
    std::string serial;  // identifying string when wired
    PropertyFault fault = PropertyFault::None;
  };

  static Device WirelessTracker(const std::string& dongle, const std::string& serial = "LHR-SERIAL00");
  static Device WiredTracker(const std::string& serial);
  static Device Other(int32_t deviceClass, const std::string& serial = "OTHER-0001");

  // Errors of the first initialisations; later ones succeed.
  void FailInit(std::vector<int32_t> errors);
  void SetDevice(uint32_t index, const Device& device);
  // Connects the device and queues its activation.
  void Activate(uint32_t index, const Device& device);
  // Disconnects the device and queues its deactivation.
  void Deactivate(uint32_t index);
  void QueueEvent(uint32_t type, uint32_t index);

  int initCalls() const;
  // Calls other than Init and ErrorText made before a successful Init.
  int callsBeforeInit() const;
  size_t pendingEvents() const;
  int stringPropertyCalls(int32_t property) const;

  bool Init(int32_t& error) override;
  std::string ErrorText(int32_t error) override;
  int32_t GetTrackedDeviceClass(uint32_t deviceIndex) override;
  bool IsTrackedDeviceConnected(uint32_t deviceIndex) override;
  bool GetBoolTrackedDeviceProperty(uint32_t deviceIndex, int32_t property, int32_t* propertyError) override;
  uint32_t GetStringTrackedDeviceProperty(uint32_t deviceIndex, int32_t property, char* buffer, uint32_t bufferSize,
                                          int32_t* propertyError) override;
  bool PollNextEvent(tracker::DeviceEvent& event) override;

 private:
  void NoteCall();
  const Device* Find(uint32_t index) const;

  mutable std::mutex mutex_;
  std::deque<int32_t> initErrors_;
  bool initialised_ = false;
  int initCalls_ = 0;
  int callsBeforeInit_ = 0;
  int serialCalls_ = 0;
  int dongleCalls_ = 0;
  std::vector<std::pair<bool, Device>> devices_ = std::vector<std::pair<bool, Device>>(tracker::kDeviceSlots);
  std::deque<tracker::DeviceEvent> events_;
};

}  // namespace testsupport
}  // namespace ZEMBRA
