#include "tests/steamvr/standin/standin_host.h"

#include <json/json.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace ZEMBRA {
namespace standin {

namespace {

using Clock = std::chrono::steady_clock;

#if defined(_WIN32)
constexpr const char* kPlatform = "win64";
constexpr const char* kLibrarySuffix = ".dll";
#else
constexpr const char* kPlatform = "linux64";
constexpr const char* kLibrarySuffix = ".so";
#endif

constexpr vr::DriverHandle_t kDriverHandle = 1;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

// Every interface of the server in one object, over one set of records.
class StandinHost::Interfaces final : public vr::IVRDriverContext {
 public:
  Interfaces(const std::string& folder, StandinHost& host)
      : host(host), folder_(folder), server_(*this), settings_(*this), properties_(*this), input_(*this), log_(*this) {
    Json::CharReaderBuilder builder;
    std::istringstream in(ReadFile(folder + "/resources/settings/default.vrsettings"));
    std::string errors;
    Json::parseFromStream(builder, in, &settings, &errors);
  }

  void* GetGenericInterface(const char* version, vr::EVRInitError* error) override {
    std::lock_guard<std::mutex> lock(mutex);
    asked.push_back(version ? version : "");
    void* found = nullptr;
    const std::string v = version ? version : "";
    if (v == vr::IVRServerDriverHost_Version) found = static_cast<vr::IVRServerDriverHost*>(&server_);
    if (v == vr::IVRSettings_Version) found = static_cast<vr::IVRSettings*>(&settings_);
    if (v == vr::IVRProperties_Version) found = static_cast<vr::IVRProperties*>(&properties_);
    if (v == vr::IVRDriverInput_Version) found = static_cast<vr::IVRDriverInput*>(&input_);
    if (v == vr::IVRDriverLog_Version) found = static_cast<vr::IVRDriverLog*>(&log_);
    if (v == vr::IVRDriverManager_Version) found = static_cast<vr::IVRDriverManager*>(&manager_);
    if (v == vr::IVRResources_Version) found = static_cast<vr::IVRResources*>(&resources_);
    if (error) *error = found ? vr::VRInitError_None : vr::VRInitError_Init_InterfaceNotFound;
    return found;
  }
  vr::DriverHandle_t GetDriverHandle() override { return kDriverHandle; }

  StandinHost& host;
  // The records, under `mutex`.
  mutable std::mutex mutex;
  Slot slots[kSlots];
  std::vector<uint32_t> added;  // slots of the driver's devices, in order of addition
  std::map<vr::PropertyContainerHandle_t, std::map<vr::ETrackedDeviceProperty, Property>> properties;
  std::vector<Component> components;
  vr::VRInputComponentHandle_t lastHandle = 0;
  std::map<std::pair<vr::VRInputComponentHandle_t, int>, SkeletonRecord> skeletons;
  std::map<vr::VRInputComponentHandle_t, ScalarRecord> scalars;
  std::vector<std::string> lines;
  std::vector<std::string> asked;
  Json::Value settings;

  int SlotOfContainer(vr::PropertyContainerHandle_t container) const {
    const vr::PropertyContainerHandle_t first = ContainerOf(0);
    return container >= first && container < first + kSlots ? int(container - first) : -1;
  }
  void SetLocked(uint32_t slot, vr::ETrackedDeviceProperty prop, vr::PropertyTypeTag_t tag, const void* data,
                 size_t size) {
    Property& p = properties[ContainerOf(slot)][prop];
    p.tag = tag;
    p.bytes.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
  }
  void SetStringLocked(uint32_t slot, vr::ETrackedDeviceProperty prop, const std::string& text) {
    SetLocked(slot, prop, vr::k_unStringPropertyTag, text.c_str(), text.size() + 1);
  }

 private:
  class Server final : public vr::IVRServerDriverHost {
   public:
    explicit Server(Interfaces& i) : i_(i) {}
    bool TrackedDeviceAdded(const char* serial, vr::ETrackedDeviceClass deviceClass,
                            vr::ITrackedDeviceServerDriver* driver) override {
      std::lock_guard<std::mutex> lock(i_.mutex);
      for (uint32_t s = 0; s < kSlots; ++s) {
        Slot& slot = i_.slots[s];
        if (slot.used) continue;
        slot = Slot();
        slot.used = true;
        slot.deviceClass = deviceClass;
        slot.serial = serial ? serial : "";
        slot.driver = driver;
        i_.added.push_back(s);
        // As SteamVR does, before the driver's Activate.
        const int32_t c = deviceClass;
        i_.SetLocked(s, vr::Prop_DeviceClass_Int32, vr::k_unInt32PropertyTag, &c, sizeof c);
        i_.SetStringLocked(s, vr::Prop_SerialNumber_String, slot.serial);
        return true;
      }
      return false;
    }
    void TrackedDevicePoseUpdated(uint32_t which, const vr::DriverPose_t& pose, uint32_t size) override {
      std::lock_guard<std::mutex> lock(i_.mutex);
      if (which >= kSlots || size != sizeof(vr::DriverPose_t) || !i_.slots[which].driver) return;
      Slot& slot = i_.slots[which];
      PoseRecord& r = slot.updates;
      r.pose = pose;
      r.last = Clock::now();
      if (r.updates++ == 0) r.first = r.last;
      // The server's raw pose of the device is what its driver reported.
      vr::TrackedDevicePose_t& raw = slot.pose;
      raw.bDeviceIsConnected = pose.deviceIsConnected;
      raw.bPoseIsValid = pose.poseIsValid;
      raw.eTrackingResult = pose.result;
    }
    void VsyncEvent(double) override {}
    void VendorSpecificEvent(uint32_t, vr::EVREventType, const vr::VREvent_Data_t&, double) override {}
    bool IsExiting() override { return false; }
    bool PollNextEvent(vr::VREvent_t*, uint32_t) override { return false; }
    void GetRawTrackedDevicePoses(float, vr::TrackedDevicePose_t* poses, uint32_t count) override {
      std::lock_guard<std::mutex> lock(i_.mutex);
      for (uint32_t s = 0; s < count && s < kSlots; ++s) poses[s] = i_.slots[s].pose;
      for (uint32_t s = kSlots; s < count; ++s) poses[s] = vr::TrackedDevicePose_t{};
    }
    void RequestRestart(const char*, const char*, const char*, const char*) override {}
    uint32_t GetFrameTimings(vr::Compositor_FrameTiming*, uint32_t) override { return 0; }
    void SetDisplayEyeToHead(uint32_t, const vr::HmdMatrix34_t&, const vr::HmdMatrix34_t&) override {}
    void SetDisplayProjectionRaw(uint32_t, const vr::HmdRect2_t&, const vr::HmdRect2_t&) override {}
    void SetRecommendedRenderTargetSize(uint32_t, uint32_t, uint32_t) override {}

   private:
    Interfaces& i_;
  };

  class Settings final : public vr::IVRSettings {
   public:
    explicit Settings(Interfaces& i) : i_(i) {}
    const char* GetSettingsErrorNameFromEnum(vr::EVRSettingsError) override { return "error"; }
    void SetBool(const char* s, const char* k, bool v, vr::EVRSettingsError* e) override { Set(s, k, v, e); }
    void SetInt32(const char* s, const char* k, int32_t v, vr::EVRSettingsError* e) override { Set(s, k, v, e); }
    void SetFloat(const char* s, const char* k, float v, vr::EVRSettingsError* e) override { Set(s, k, v, e); }
    void SetString(const char* s, const char* k, const char* v, vr::EVRSettingsError* e) override { Set(s, k, v, e); }
    bool GetBool(const char* s, const char* k, vr::EVRSettingsError* e) override {
      const Json::Value v = Get(s, k, e);
      return v.isBool() ? v.asBool() : v.isNumeric() ? v.asDouble() != 0 : false;
    }
    int32_t GetInt32(const char* s, const char* k, vr::EVRSettingsError* e) override {
      const Json::Value v = Get(s, k, e);
      return v.isNumeric() ? v.asInt() : 0;
    }
    float GetFloat(const char* s, const char* k, vr::EVRSettingsError* e) override {
      const Json::Value v = Get(s, k, e);
      return v.isNumeric() ? v.asFloat() : 0.0f;
    }
    void GetString(const char* s, const char* k, char* out, uint32_t size, vr::EVRSettingsError* e) override {
      const Json::Value v = Get(s, k, e);
      const std::string text = v.isString() ? v.asString() : "";
      if (out && size > 0) {
        const size_t n = std::min<size_t>(text.size(), size - 1);
        std::memcpy(out, text.data(), n);
        out[n] = '\0';
      }
    }
    void RemoveSection(const char* s, vr::EVRSettingsError* e) override {
      std::lock_guard<std::mutex> lock(i_.mutex);
      i_.settings.removeMember(s);
      if (e) *e = vr::VRSettingsError_None;
    }
    void RemoveKeyInSection(const char* s, const char* k, vr::EVRSettingsError* e) override {
      std::lock_guard<std::mutex> lock(i_.mutex);
      if (i_.settings.isMember(s)) i_.settings[s].removeMember(k);
      if (e) *e = vr::VRSettingsError_None;
    }

   private:
    template <typename T>
    void Set(const char* s, const char* k, const T& v, vr::EVRSettingsError* e) {
      std::lock_guard<std::mutex> lock(i_.mutex);
      i_.settings[s][k] = v;
      if (e) *e = vr::VRSettingsError_None;
    }
    Json::Value Get(const char* s, const char* k, vr::EVRSettingsError* e) {
      std::lock_guard<std::mutex> lock(i_.mutex);
      const Json::Value& section = i_.settings[s];
      const bool found = section.isObject() && section.isMember(k);
      if (e) *e = found ? vr::VRSettingsError_None : vr::VRSettingsError_UnsetSettingHasNoDefault;
      return found ? section[k] : Json::Value();
    }
    Interfaces& i_;
  };

  class Properties final : public vr::IVRProperties {
   public:
    explicit Properties(Interfaces& i) : i_(i) {}
    vr::ETrackedPropertyError ReadPropertyBatch(vr::PropertyContainerHandle_t container, vr::PropertyRead_t* batch,
                                                uint32_t count) override {
      std::lock_guard<std::mutex> lock(i_.mutex);
      if (i_.SlotOfContainer(container) < 0) return vr::TrackedProp_InvalidContainer;
      const auto& all = i_.properties[container];
      for (uint32_t n = 0; n < count; ++n) {
        vr::PropertyRead_t& r = batch[n];
        const auto it = all.find(r.prop);
        r.unTag = 0;
        r.unRequiredBufferSize = 0;
        if (it == all.end()) {
          r.eError = vr::TrackedProp_UnknownProperty;
          continue;
        }
        r.unTag = it->second.tag;
        r.unRequiredBufferSize = uint32_t(it->second.bytes.size());
        if (!r.pvBuffer || r.unBufferSize < it->second.bytes.size()) {
          r.eError = vr::TrackedProp_BufferTooSmall;
          continue;
        }
        std::memcpy(r.pvBuffer, it->second.bytes.data(), it->second.bytes.size());
        r.eError = vr::TrackedProp_Success;
      }
      return vr::TrackedProp_Success;
    }
    vr::ETrackedPropertyError WritePropertyBatch(vr::PropertyContainerHandle_t container, vr::PropertyWrite_t* batch,
                                                 uint32_t count) override {
      std::lock_guard<std::mutex> lock(i_.mutex);
      const int slot = i_.SlotOfContainer(container);
      if (slot < 0) return vr::TrackedProp_InvalidContainer;
      for (uint32_t n = 0; n < count; ++n) {
        vr::PropertyWrite_t& w = batch[n];
        w.eError = vr::TrackedProp_Success;
        if (w.writeType == vr::PropertyWrite_Set) {
          i_.SetLocked(uint32_t(slot), w.prop, w.unTag, w.pvBuffer, w.unBufferSize);
        } else {
          i_.properties[container].erase(w.prop);
        }
      }
      return vr::TrackedProp_Success;
    }
    const char* GetPropErrorNameFromEnum(vr::ETrackedPropertyError) override { return "error"; }
    vr::PropertyContainerHandle_t TrackedDeviceToPropertyContainer(vr::TrackedDeviceIndex_t device) override {
      return device < kSlots ? ContainerOf(device) : vr::k_ulInvalidPropertyContainer;
    }

   private:
    Interfaces& i_;
  };

  class Input final : public vr::IVRDriverInput {
   public:
    explicit Input(Interfaces& i) : i_(i) {}
    vr::EVRInputError CreateBooleanComponent(vr::PropertyContainerHandle_t c, const char* name,
                                             vr::VRInputComponentHandle_t* handle) override {
      return Add(c, name, "boolean", handle);
    }
    vr::EVRInputError UpdateBooleanComponent(vr::VRInputComponentHandle_t, bool, double) override {
      return vr::VRInputError_None;
    }
    vr::EVRInputError CreateScalarComponent(vr::PropertyContainerHandle_t c, const char* name,
                                            vr::VRInputComponentHandle_t* handle, vr::EVRScalarType,
                                            vr::EVRScalarUnits units) override {
      const vr::EVRInputError e = Add(c, name, "scalar", handle);
      std::lock_guard<std::mutex> lock(i_.mutex);
      i_.components.back().units = units;
      return e;
    }
    vr::EVRInputError UpdateScalarComponent(vr::VRInputComponentHandle_t handle, float value, double) override {
      std::lock_guard<std::mutex> lock(i_.mutex);
      ScalarRecord& r = i_.scalars[handle];
      ++r.updates;
      r.value = value;
      return vr::VRInputError_None;
    }
    vr::EVRInputError CreateHapticComponent(vr::PropertyContainerHandle_t c, const char* name,
                                            vr::VRInputComponentHandle_t* handle) override {
      return Add(c, name, "haptic", handle);
    }
    vr::EVRInputError CreateSkeletonComponent(vr::PropertyContainerHandle_t c, const char* name,
                                              const char* skeletonPath, const char* basePosePath,
                                              vr::EVRSkeletalTrackingLevel level, const vr::VRBoneTransform_t*,
                                              uint32_t, vr::VRInputComponentHandle_t* handle) override {
      const vr::EVRInputError e = Add(c, name, "skeleton", handle);
      std::lock_guard<std::mutex> lock(i_.mutex);
      Component& added = i_.components.back();
      added.skeletonPath = skeletonPath ? skeletonPath : "";
      added.basePosePath = basePosePath ? basePosePath : "";
      added.trackingLevel = level;
      return e;
    }
    vr::EVRInputError UpdateSkeletonComponent(vr::VRInputComponentHandle_t handle, vr::EVRSkeletalMotionRange range,
                                              const vr::VRBoneTransform_t* bones, uint32_t count) override {
      if (i_.host.onSkeletonUpdate) i_.host.onSkeletonUpdate(handle, range);
      std::lock_guard<std::mutex> lock(i_.mutex);
      SkeletonRecord& r = i_.skeletons[{handle, int(range)}];
      ++r.updates;
      r.boneCount = count;
      r.bones.assign(bones, bones + count);
      r.last = Clock::now();
      return vr::VRInputError_None;
    }
    vr::EVRInputError CreatePoseComponent(vr::PropertyContainerHandle_t c, const char* name,
                                          vr::VRInputComponentHandle_t* handle) override {
      return Add(c, name, "pose", handle);
    }
    vr::EVRInputError UpdatePoseComponent(vr::VRInputComponentHandle_t, const vr::HmdMatrix34_t*, double) override {
      return vr::VRInputError_None;
    }

   private:
    vr::EVRInputError Add(vr::PropertyContainerHandle_t c, const char* name, const char* kind,
                          vr::VRInputComponentHandle_t* handle) {
      std::lock_guard<std::mutex> lock(i_.mutex);
      Component component;
      component.container = c;
      component.name = name ? name : "";
      component.kind = kind;
      component.handle = ++i_.lastHandle;
      i_.components.push_back(component);
      if (handle) *handle = component.handle;
      return vr::VRInputError_None;
    }
    Interfaces& i_;
  };

  class LogSink final : public vr::IVRDriverLog {
   public:
    explicit LogSink(Interfaces& i) : i_(i) {}
    void Log(const char* message) override {
      std::lock_guard<std::mutex> lock(i_.mutex);
      i_.lines.push_back(message ? message : "");
    }

   private:
    Interfaces& i_;
  };

  class Manager final : public vr::IVRDriverManager {
   public:
    uint32_t GetDriverCount() const override { return 1; }
    uint32_t GetDriverName(vr::DriverId_t, char* value, uint32_t size) override {
      const char name[] = "zembra";
      if (value && size >= sizeof name) std::memcpy(value, name, sizeof name);
      return sizeof name;
    }
    vr::DriverHandle_t GetDriverHandle(const char*) override { return kDriverHandle; }
    bool IsEnabled(vr::DriverId_t) const override { return true; }
  };

  class Resources final : public vr::IVRResources {
   public:
    uint32_t LoadSharedResource(const char*, char*, uint32_t) override { return 0; }
    uint32_t GetResourceFullPath(const char*, const char*, char* path, uint32_t size) override {
      if (path && size > 0) path[0] = '\0';
      return 0;
    }
  };

  std::string folder_;
  Server server_;
  Settings settings_;
  Properties properties_;
  Input input_;
  LogSink log_;
  Manager manager_;
  Resources resources_;
};

StandinHost::StandinHost(std::string driverFolder)
    : folder_(std::move(driverFolder)), interfaces_(std::make_unique<Interfaces>(folder_, *this)) {}

StandinHost::~StandinHost() = default;

bool StandinHost::Load() {
  const std::string name = ReadFile(folder_ + "/driver.vrdrivermanifest");
  Json::Value manifest;
  Json::CharReaderBuilder builder;
  std::istringstream in(name);
  std::string errors;
  if (!Json::parseFromStream(builder, in, &manifest, &errors) || !manifest["name"].isString()) {
    error_ = "no driver.vrdrivermanifest with a name in " + folder_;
    return false;
  }
  const std::string path = folder_ + "/bin/" + kPlatform + "/driver_" + manifest["name"].asString() + kLibrarySuffix;
  if (!library_.Load(path)) {
    error_ = library_.error();
    return false;
  }
  using Factory = void* (*)(const char*, int*);
  const auto factory = reinterpret_cast<Factory>(library_.Symbol("HmdDriverFactory"));
  if (!factory) {
    error_ = library_.error();
    return false;
  }
  int code = vr::VRInitError_None;
  provider_ = static_cast<vr::IServerTrackedDeviceProvider*>(factory(vr::IServerTrackedDeviceProvider_Version, &code));
  if (!provider_) error_ = "HmdDriverFactory gave no provider: " + std::to_string(code);
  return provider_ != nullptr;
}

vr::EVRInitError StandinHost::Init() { return provider_->Init(interfaces_.get()); }

void StandinHost::Cleanup() {
  provider_->Cleanup();
  // The devices the driver added are gone with it.
  std::lock_guard<std::mutex> lock(interfaces_->mutex);
  std::vector<Component>& components = interfaces_->components;
  for (uint32_t s : interfaces_->added) {
    interfaces_->slots[s] = Slot();
    interfaces_->properties.erase(ContainerOf(s));
    components.erase(std::remove_if(components.begin(), components.end(),
                                    [s](const Component& c) { return c.container == ContainerOf(s); }),
                     components.end());
  }
  interfaces_->added.clear();
}

bool StandinHost::Serve(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  for (;;) {
    std::vector<std::pair<uint32_t, vr::ITrackedDeviceServerDriver*>> pending;
    {
      std::lock_guard<std::mutex> lock(interfaces_->mutex);
      for (uint32_t s : interfaces_->added) {
        Slot& slot = interfaces_->slots[s];
        if (slot.activated) continue;
        slot.activated = true;
        pending.emplace_back(s, slot.driver);
      }
    }
    // Outside the lock: Activate calls back into the interfaces.
    for (const auto& device : pending) device.second->Activate(device.first);
    const auto start = Clock::now();
    provider_->RunFrame();
    runFrameMicroseconds_.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    if (done && done()) return true;
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(11));
  }
}

std::vector<double> StandinHost::runFrameMicroseconds() const { return runFrameMicroseconds_; }

uint32_t StandinHost::AddDevice(vr::ETrackedDeviceClass deviceClass, const std::string& serial, uint64_t universe) {
  std::lock_guard<std::mutex> lock(interfaces_->mutex);
  for (uint32_t s = 0; s < kSlots; ++s) {
    Slot& slot = interfaces_->slots[s];
    if (slot.used) continue;
    slot = Slot();
    slot.used = true;
    slot.ours = true;
    slot.deviceClass = deviceClass;
    slot.serial = serial;
    slot.pose.bDeviceIsConnected = true;
    slot.pose.bPoseIsValid = true;
    slot.pose.eTrackingResult = vr::TrackingResult_Running_OK;
    for (int i = 0; i < 3; ++i) slot.pose.mDeviceToAbsoluteTracking.m[i][i] = 1;
    const int32_t c = deviceClass;
    interfaces_->SetLocked(s, vr::Prop_DeviceClass_Int32, vr::k_unInt32PropertyTag, &c, sizeof c);
    interfaces_->SetStringLocked(s, vr::Prop_SerialNumber_String, serial);
    interfaces_->SetLocked(s, vr::Prop_CurrentUniverseId_Uint64, vr::k_unUint64PropertyTag, &universe, sizeof universe);
    return s;
  }
  return kSlots;
}

void StandinHost::SetPose(uint32_t slot, const vr::TrackedDevicePose_t& pose) {
  std::lock_guard<std::mutex> lock(interfaces_->mutex);
  interfaces_->slots[slot].pose = pose;
}

void StandinHost::SetConnected(uint32_t slot, bool connected) {
  std::lock_guard<std::mutex> lock(interfaces_->mutex);
  interfaces_->slots[slot].pose.bDeviceIsConnected = connected;
  interfaces_->slots[slot].pose.bPoseIsValid = connected;
}

void StandinHost::SetSetting(const std::string& section, const std::string& key, const std::string& value) {
  std::lock_guard<std::mutex> lock(interfaces_->mutex);
  interfaces_->settings[section][key] = value;
}
void StandinHost::SetSetting(const std::string& section, const std::string& key, double value) {
  std::lock_guard<std::mutex> lock(interfaces_->mutex);
  interfaces_->settings[section][key] = value;
}
void StandinHost::SetSetting(const std::string& section, const std::string& key, bool value) {
  std::lock_guard<std::mutex> lock(interfaces_->mutex);
  interfaces_->settings[section][key] = value;
}

std::vector<uint32_t> StandinHost::DriverDevices() const {
  std::lock_guard<std::mutex> lock(interfaces_->mutex);
  return interfaces_->added;
}

Slot StandinHost::slot(uint32_t index) const {
  std::lock_guard<std::mutex> lock(interfaces_->mutex);
  return interfaces_->slots[index];
}

std::optional<Property> StandinHost::property(uint32_t slot, vr::ETrackedDeviceProperty prop) const {
  std::lock_guard<std::mutex> lock(interfaces_->mutex);
  const auto container = interfaces_->properties.find(ContainerOf(slot));
  if (container == interfaces_->properties.end()) return std::nullopt;
  const auto it = container->second.find(prop);
  if (it == container->second.end()) return std::nullopt;
  return it->second;
}

std::string StandinHost::stringProperty(uint32_t slot, vr::ETrackedDeviceProperty prop) const {
  const std::optional<Property> p = property(slot, prop);
  if (!p || p->tag != vr::k_unStringPropertyTag || p->bytes.empty()) return "";
  return std::string(reinterpret_cast<const char*>(p->bytes.data()));
}

std::vector<Component> StandinHost::components(uint32_t slot) const {
  std::lock_guard<std::mutex> lock(interfaces_->mutex);
  std::vector<Component> found;
  for (const Component& c : interfaces_->components)
    if (c.container == ContainerOf(slot)) found.push_back(c);
  return found;
}

std::optional<Component> StandinHost::component(uint32_t slot, const std::string& name) const {
  for (const Component& c : components(slot))
    if (c.name == name) return c;
  return std::nullopt;
}

SkeletonRecord StandinHost::skeleton(vr::VRInputComponentHandle_t handle, vr::EVRSkeletalMotionRange range) const {
  std::lock_guard<std::mutex> lock(interfaces_->mutex);
  const auto it = interfaces_->skeletons.find({handle, int(range)});
  return it == interfaces_->skeletons.end() ? SkeletonRecord() : it->second;
}

ScalarRecord StandinHost::scalar(vr::VRInputComponentHandle_t handle) const {
  std::lock_guard<std::mutex> lock(interfaces_->mutex);
  const auto it = interfaces_->scalars.find(handle);
  return it == interfaces_->scalars.end() ? ScalarRecord() : it->second;
}

std::vector<std::string> StandinHost::log() const {
  std::lock_guard<std::mutex> lock(interfaces_->mutex);
  return interfaces_->lines;
}

std::vector<std::string> StandinHost::interfacesAsked() const {
  std::lock_guard<std::mutex> lock(interfaces_->mutex);
  return interfaces_->asked;
}

}  // namespace standin
}  // namespace ZEMBRA
