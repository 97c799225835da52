#include "tests/support/fake_tracker_runtime.h"

#include <cstring>

namespace ZEMBRA {
namespace testsupport {

namespace {
constexpr int32_t kPropFailed = 1;
constexpr int32_t kPropBufferTooSmall = 3;
}  // namespace

FakeTrackerRuntime::Device FakeTrackerRuntime::WirelessTracker(const std::string& dongle, const std::string& serial) {
  Device d;
  d.wireless = true;
  d.dongle = dongle;
  d.serial = serial;
  return d;
}

FakeTrackerRuntime::Device FakeTrackerRuntime::WiredTracker(const std::string& serial) {
  Device d;
  d.serial = serial;
  return d;
}

FakeTrackerRuntime::Device FakeTrackerRuntime::Other(int32_t deviceClass, const std::string& serial) {
  Device d;
  d.deviceClass = deviceClass;
  d.serial = serial;
  return d;
}

void FakeTrackerRuntime::FailInit(std::vector<int32_t> errors) {
  std::lock_guard<std::mutex> lock(mutex_);
  initErrors_.assign(errors.begin(), errors.end());
}

void FakeTrackerRuntime::SetDevice(uint32_t index, const Device& device) {
  std::lock_guard<std::mutex> lock(mutex_);
  devices_.at(index) = {true, device};
}

void FakeTrackerRuntime::Activate(uint32_t index, const Device& device) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device connected = device;
  connected.connected = true;
  devices_.at(index) = {true, connected};
  events_.push_back({tracker::kEventDeviceActivated, index});
}

void FakeTrackerRuntime::Deactivate(uint32_t index) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index < devices_.size()) devices_[index].second.connected = false;
  events_.push_back({tracker::kEventDeviceDeactivated, index});
}

void FakeTrackerRuntime::QueueEvent(uint32_t type, uint32_t index) {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.push_back({type, index});
}

int FakeTrackerRuntime::initCalls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return initCalls_;
}

int FakeTrackerRuntime::callsBeforeInit() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return callsBeforeInit_;
}

size_t FakeTrackerRuntime::pendingEvents() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_.size();
}

int FakeTrackerRuntime::stringPropertyCalls(int32_t property) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (property == tracker::kPropSerialNumber) return serialCalls_;
  if (property == tracker::kPropConnectedWirelessDongle) return dongleCalls_;
  return 0;
}

bool FakeTrackerRuntime::Init(int32_t& error) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++initCalls_;
  if (!initErrors_.empty()) {
    error = initErrors_.front();
    initErrors_.pop_front();
    if (error != 0) return false;
  }
  error = 0;
  initialised_ = true;
  return true;
}

std::string FakeTrackerRuntime::ErrorText(int32_t error) { return "fake runtime error " + std::to_string(error); }

void FakeTrackerRuntime::NoteCall() {
  if (!initialised_) ++callsBeforeInit_;
}

const FakeTrackerRuntime::Device* FakeTrackerRuntime::Find(uint32_t index) const {
  if (index >= devices_.size() || !devices_[index].first) return nullptr;
  return &devices_[index].second;
}

int32_t FakeTrackerRuntime::GetTrackedDeviceClass(uint32_t deviceIndex) {
  std::lock_guard<std::mutex> lock(mutex_);
  NoteCall();
  const Device* d = Find(deviceIndex);
  return d ? d->deviceClass : 0;
}

bool FakeTrackerRuntime::IsTrackedDeviceConnected(uint32_t deviceIndex) {
  std::lock_guard<std::mutex> lock(mutex_);
  NoteCall();
  const Device* d = Find(deviceIndex);
  return d && d->connected;
}

bool FakeTrackerRuntime::GetBoolTrackedDeviceProperty(uint32_t deviceIndex, int32_t property, int32_t* propertyError) {
  std::lock_guard<std::mutex> lock(mutex_);
  NoteCall();
  const Device* d = Find(deviceIndex);
  const bool known = d && property == tracker::kPropDeviceIsWireless;
  if (propertyError) *propertyError = known ? 0 : kPropFailed;
  return known && d->wireless;
}

uint32_t FakeTrackerRuntime::GetStringTrackedDeviceProperty(uint32_t deviceIndex, int32_t property, char* buffer,
                                                            uint32_t bufferSize, int32_t* propertyError) {
  std::lock_guard<std::mutex> lock(mutex_);
  NoteCall();
  int32_t ignored = 0;
  int32_t& err = propertyError ? *propertyError : ignored;
  const Device* d = Find(deviceIndex);
  if (!d) {
    err = kPropFailed;
    return 0;
  }
  std::string value;
  if (property == tracker::kPropSerialNumber) {
    ++serialCalls_;
    value = d->serial;
  } else if (property == tracker::kPropConnectedWirelessDongle) {
    ++dongleCalls_;
    value = d->dongle;
  } else {
    err = kPropFailed;
    return 0;
  }
  const uint32_t needed = uint32_t(value.size() + 1);
  if (d->fault == PropertyFault::SizeCallFails) {
    err = kPropFailed;
    return 0;
  }
  if (!buffer || bufferSize < needed) {
    err = kPropBufferTooSmall;
    return needed;
  }
  switch (d->fault) {
    case PropertyFault::SecondCallFails:
      err = kPropFailed;
      return 0;
    case PropertyFault::SecondCallGrows:
      // The value changed between the two calls: a larger size, nothing copied.
      err = kPropBufferTooSmall;
      return needed + 8;
    case PropertyFault::NoTerminator:
      std::memcpy(buffer, value.data(), value.size());
      buffer[value.size()] = 'X';
      err = 0;
      return needed;
    default:
      std::memcpy(buffer, value.c_str(), needed);
      err = 0;
      return needed;
  }
}

bool FakeTrackerRuntime::PollNextEvent(tracker::DeviceEvent& event) {
  std::lock_guard<std::mutex> lock(mutex_);
  NoteCall();
  if (events_.empty()) return false;
  event = events_.front();
  events_.pop_front();
  return true;
}

}  // namespace testsupport
}  // namespace ZEMBRA
