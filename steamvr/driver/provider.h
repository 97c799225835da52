// The driver as SteamVR's server sees it: the device provider that
// HmdDriverFactory hands out. Init takes the driver context, reads the
// settings, makes the two hand devices (each with its glove feed), adds
// them to SteamVR and starts the wrist tracking; Cleanup releases all of
// it, so that Init may follow again.
//
// Threads: SteamVR calls every member on its server thread.
#pragma once

#include <openvr_driver.h>

#include <memory>

namespace ZEMBRA {
namespace steamvr_driver {

class Provider final : public vr::IServerTrackedDeviceProvider {
 public:
  Provider();
  ~Provider();
  Provider(const Provider&) = delete;
  Provider& operator=(const Provider&) = delete;

  vr::EVRInitError Init(vr::IVRDriverContext* context) override;
  void Cleanup() override;
  const char* const* GetInterfaceVersions() override { return vr::k_InterfaceVersions; }
  void RunFrame() override;
  bool ShouldBlockStandbyMode() override { return false; }
  void EnterStandby() override {}
  void LeaveStandby() override {}

 private:
  class Running;
  std::unique_ptr<Running> running_;  // between Init and Cleanup
};

}  // namespace steamvr_driver
}  // namespace ZEMBRA
