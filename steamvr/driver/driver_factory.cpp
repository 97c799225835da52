// The library's only export: SteamVR's server asks it for the device
// provider by interface version.
#include <cstring>

#include "provider.h"

#if defined(_WIN32)
#define ZEMBRA_STEAMVR_EXPORT extern "C" __declspec(dllexport)
#else
#define ZEMBRA_STEAMVR_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

// The one provider of a loaded library: SteamVR keeps the pointer until it
// unloads the library. It holds nothing between Cleanup and the next Init.
ZEMBRA::steamvr_driver::Provider& TheProvider() {
  static ZEMBRA::steamvr_driver::Provider provider;
  return provider;
}

}  // namespace

ZEMBRA_STEAMVR_EXPORT void* HmdDriverFactory(const char* interfaceName, int* returnCode) {
  if (interfaceName && std::strcmp(interfaceName, vr::IServerTrackedDeviceProvider_Version) == 0)
    return static_cast<vr::IServerTrackedDeviceProvider*>(&TheProvider());
  if (returnCode) *returnCode = vr::VRInitError_Init_InterfaceNotFound;
  return nullptr;
}
