// The OpenVR runtime, loaded at run time and called through its C exports
// and the "FnTable:IVRSystem_019" function table. No SDK header is needed:
// the few declarations below are all the driver uses.
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "driver/tracker/tracker_runtime.h"
#include "platform/dynamic_library.h"

namespace ZEMBRA {
namespace tracker {

namespace {

#if defined(_WIN32)
constexpr const char* kDefaultLibrary = "openvr_api.dll";
#else
constexpr const char* kDefaultLibrary = "libopenvr_api.so";
#endif
constexpr const char* kLibraryVariable = "ZEMBRA_OPENVR_LIBRARY";
constexpr const char* kSystemInterface = "IVRSystem_019";
constexpr const char* kSystemFunctionTable = "FnTable:IVRSystem_019";
constexpr int32_t kApplicationOther = 0;
constexpr int32_t kErrorInterfaceNotFound = 105;
// Our own code for "the runtime library itself could not be used"; OpenVR's
// codes are all non-negative.
constexpr int32_t kErrorLibraryUnavailable = -1;

// The event record of the "IVRSystem_019" releases. The runtime writes as many
// bytes as we declare, so the size must match what that interface version
// expects: the Linux SDK packs the record to 4 bytes.
#if defined(_WIN32)
struct alignas(8) EventRecord {
  uint32_t eventType;
  uint32_t trackedDeviceIndex;
  float eventAgeSeconds;
  uint8_t data[36];  // 4 bytes of padding, then the 32-byte data union
};
static_assert(sizeof(EventRecord) == 48, "event record of IVRSystem_019 on Windows");
#else
#pragma pack(push, 4)
struct EventRecord {
  uint32_t eventType;
  uint32_t trackedDeviceIndex;
  float eventAgeSeconds;
  uint64_t data[4];  // the 32-byte data union
};
#pragma pack(pop)
static_assert(sizeof(EventRecord) == 44, "event record of IVRSystem_019 on Linux");
#endif

using InitFn = uint32_t (*)(int32_t* error, int32_t applicationType, const char* startupInfo);
using IsInterfaceVersionValidFn = bool (*)(const char* version);
using GetGenericInterfaceFn = void* (*)(const char* version, int32_t* error);
using ShutdownFn = void (*)();
using ErrorDescriptionFn = const char* (*)(int32_t error);

// Function-table entries of IVRSystem_019 (no object argument).
constexpr int kEntryGetTrackedDeviceClass = 20;
constexpr int kEntryIsTrackedDeviceConnected = 21;
constexpr int kEntryGetBoolProperty = 22;
constexpr int kEntryGetStringProperty = 28;
constexpr int kEntryPollNextEvent = 30;
using GetTrackedDeviceClassFn = int32_t (*)(uint32_t deviceIndex);
using IsTrackedDeviceConnectedFn = bool (*)(uint32_t deviceIndex);
using GetBoolPropertyFn = bool (*)(uint32_t deviceIndex, int32_t property, int32_t* error);
using GetStringPropertyFn = uint32_t (*)(uint32_t deviceIndex, int32_t property, char* buffer, uint32_t bufferSize,
                                         int32_t* error);
using PollNextEventFn = bool (*)(void* event, uint32_t eventSize);

// The runtime is initialised once per process, not once per object: a
// shutdown ends it for every user in the process. So the objects that use
// one loaded runtime library count themselves, and only the last one shuts
// the runtime down. The count is process state by nature, as the runtime is.
class RuntimeUsers {
 public:
  static RuntimeUsers& Instance() {
    static RuntimeUsers users;
    return users;
  }
  std::mutex& mutex() { return mutex_; }
  // Users of the runtime entered at init, keyed by the library's entry point.
  int& count(InitFn library) { return counts_[library]; }

 private:
  std::mutex mutex_;
  std::map<InitFn, int> counts_;
};

class OpenVRRuntime final : public ITrackerRuntime {
 public:
  explicit OpenVRRuntime(std::string libraryPath) : libraryPath_(std::move(libraryPath)) {}

  ~OpenVRRuntime() override {
    if (!table_) return;
    // The library is unloaded with this object: the last user releases the
    // runtime first so that nothing of it is left pointing into unmapped code.
    RuntimeUsers& users = RuntimeUsers::Instance();
    std::lock_guard<std::mutex> lock(users.mutex());
    if (--users.count(init_) == 0) shutdown_();
  }

  bool Init(int32_t& error) override {
    if (table_) {
      error = 0;
      return true;
    }
    if (!LoadLibrary()) {
      error = kErrorLibraryUnavailable;
      return false;
    }
    RuntimeUsers& users = RuntimeUsers::Instance();
    std::lock_guard<std::mutex> lock(users.mutex());
    int& count = users.count(init_);
    error = 0;
    // Another object of this process already runs the runtime: share it.
    if (count == 0) init_(&error, kApplicationOther, nullptr);
    if (error != 0) return false;
    if (!isValid_(kSystemInterface)) {
      if (count == 0) shutdown_();
      error = kErrorInterfaceNotFound;
      return false;
    }
    void* table = getInterface_(kSystemFunctionTable, &error);
    if (!table || error != 0) {
      if (count == 0) shutdown_();
      if (error == 0) error = kErrorInterfaceNotFound;
      return false;
    }
    table_ = static_cast<void**>(table);
    ++count;
    return true;
  }

  std::string ErrorText(int32_t error) override {
    if (error == kErrorLibraryUnavailable) return "OpenVR runtime library unavailable (" + loadError_ + ")";
    if (describe_) {
      const char* text = describe_(error);
      if (text) return text;
    }
    return "OpenVR error " + std::to_string(error);
  }

  int32_t GetTrackedDeviceClass(uint32_t deviceIndex) override {
    return Entry<GetTrackedDeviceClassFn>(kEntryGetTrackedDeviceClass)(deviceIndex);
  }

  bool IsTrackedDeviceConnected(uint32_t deviceIndex) override {
    return Entry<IsTrackedDeviceConnectedFn>(kEntryIsTrackedDeviceConnected)(deviceIndex);
  }

  bool GetBoolTrackedDeviceProperty(uint32_t deviceIndex, int32_t property, int32_t* propertyError) override {
    return Entry<GetBoolPropertyFn>(kEntryGetBoolProperty)(deviceIndex, property, propertyError);
  }

  uint32_t GetStringTrackedDeviceProperty(uint32_t deviceIndex, int32_t property, char* buffer, uint32_t bufferSize,
                                          int32_t* propertyError) override {
    return Entry<GetStringPropertyFn>(kEntryGetStringProperty)(deviceIndex, property, buffer, bufferSize,
                                                               propertyError);
  }

  bool PollNextEvent(DeviceEvent& event) override {
    EventRecord record;
    std::memset(&record, 0, sizeof record);
    if (!Entry<PollNextEventFn>(kEntryPollNextEvent)(&record, uint32_t(sizeof record))) return false;
    event.type = record.eventType;
    event.deviceIndex = record.trackedDeviceIndex;
    return true;
  }

 private:
  template <typename Fn>
  Fn Entry(int index) const {
    return reinterpret_cast<Fn>(table_[index]);
  }

  bool LoadLibrary() {
    if (init_) return true;
    std::string name = libraryPath_;
    if (name.empty()) {
      const char* configured = std::getenv(kLibraryVariable);
      name = configured && *configured ? configured : kDefaultLibrary;
    }
    if (!library_.Load(name)) {
      loadError_ = library_.error();
      return false;
    }
    auto init = reinterpret_cast<InitFn>(library_.Symbol("VR_InitInternal2"));
    auto valid = reinterpret_cast<IsInterfaceVersionValidFn>(library_.Symbol("VR_IsInterfaceVersionValid"));
    auto get = reinterpret_cast<GetGenericInterfaceFn>(library_.Symbol("VR_GetGenericInterface"));
    auto shutdown = reinterpret_cast<ShutdownFn>(library_.Symbol("VR_ShutdownInternal"));
    describe_ = reinterpret_cast<ErrorDescriptionFn>(library_.Symbol("VR_GetVRInitErrorAsEnglishDescription"));
    if (!init || !valid || !get || !shutdown) {
      loadError_ = name + " lacks the OpenVR exports: " + library_.error();
      return false;
    }
    init_ = init;
    isValid_ = valid;
    getInterface_ = get;
    shutdown_ = shutdown;
    return true;
  }

  const std::string libraryPath_;
  platform::DynamicLibrary library_;
  std::string loadError_;
  InitFn init_ = nullptr;
  IsInterfaceVersionValidFn isValid_ = nullptr;
  GetGenericInterfaceFn getInterface_ = nullptr;
  ShutdownFn shutdown_ = nullptr;
  ErrorDescriptionFn describe_ = nullptr;
  void** table_ = nullptr;  // set once the runtime is initialised
};

}  // namespace

std::unique_ptr<ITrackerRuntime> MakeOpenVRRuntime(const std::string& libraryPath) {
  return std::make_unique<OpenVRRuntime>(libraryPath);
}

}  // namespace tracker
}  // namespace ZEMBRA
