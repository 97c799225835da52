#include <cstdlib>

#include "driver/tracker/tracker_runtime.h"
#include "platform/dynamic_library.h"

namespace ZEMBRA {
namespace tracker {

namespace {

constexpr const char* kDefaultLibrary = "libopenvr_api.so";
constexpr const char* kSystemInterface = "IVRSystem_019";
constexpr int32_t kApplicationOther = 0;
constexpr int32_t kErrorInterfaceNotFound = 105;
// Our own code for "the runtime library itself could not be used"; OpenVR's
// codes are all below 2000.
constexpr int32_t kErrorLibraryUnavailable = -1;

using InitFn = uint32_t (*)(int32_t* error, int32_t applicationType, const char* startupInfo);
using IsInterfaceVersionValidFn = bool (*)(const char* version);
using GetGenericInterfaceFn = void* (*)(const char* version, int32_t* error);
using ShutdownFn = void (*)();
using ErrorDescriptionFn = const char* (*)(int32_t error);

class OpenVRRuntime final : public ITrackerRuntime {
 public:
  bool Init(int32_t& error) override {
    if (!LoadLibrary()) {
      error = kErrorLibraryUnavailable;
      return false;
    }
    error = 0;
    init_(&error, kApplicationOther, nullptr);
    if (error != 0) return false;
    if (!isValid_(kSystemInterface)) {
      shutdown_();
      error = kErrorInterfaceNotFound;
      return false;
    }
    const std::string table = std::string("FnTable:") + kSystemInterface;
    system_ = getInterface_(table.c_str(), &error);
    if (!system_ || error != 0) {
      system_ = nullptr;
      shutdown_();
      if (error == 0) error = kErrorInterfaceNotFound;
      return false;
    }
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

 private:
  bool LoadLibrary() {
    if (init_) return true;
    const char* configured = std::getenv("ZEMBRA_OPENVR_LIBRARY");
    const std::string name = configured && *configured ? configured : kDefaultLibrary;
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

  platform::DynamicLibrary library_;
  std::string loadError_;
  InitFn init_ = nullptr;
  IsInterfaceVersionValidFn isValid_ = nullptr;
  GetGenericInterfaceFn getInterface_ = nullptr;
  ShutdownFn shutdown_ = nullptr;
  ErrorDescriptionFn describe_ = nullptr;
  void* system_ = nullptr;
};

}  // namespace

std::unique_ptr<ITrackerRuntime> MakeOpenVRRuntime() { return std::make_unique<OpenVRRuntime>(); }

}  // namespace tracker
}  // namespace ZEMBRA
