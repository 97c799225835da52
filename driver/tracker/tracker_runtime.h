// The tracker runtime as the driver uses it: exactly the calls tracker
// detection needs, so that a fake can stand in for OpenVR in tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace ZEMBRA {
namespace tracker {

class ITrackerRuntime {
 public:
  virtual ~ITrackerRuntime() = default;
  // One initialisation attempt: loads the runtime if needed and obtains the
  // system interface. On failure returns false with the runtime's error code.
  virtual bool Init(int32_t& error) = 0;
  // English description of an initialisation error.
  virtual std::string ErrorText(int32_t error) = 0;
};

// The production runtime: the OpenVR library loaded at run time. The file is
// "libopenvr_api.so" on the loader's path unless ZEMBRA_OPENVR_LIBRARY names
// another.
std::unique_ptr<ITrackerRuntime> MakeOpenVRRuntime();

}  // namespace tracker
}  // namespace ZEMBRA
