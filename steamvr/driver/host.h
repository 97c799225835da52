// The SteamVR interfaces the driver uses, taken once from the driver
// context in Init and handed to every part of the driver that talks to
// SteamVR. The pointers stay valid until Cleanup.
//
// Threads: SteamVR's driver interfaces may be called from any thread; the
// driver calls them from the server's thread (Init, RunFrame, Activate), its
// wrist-tracking thread and the gloves' reader threads.
#pragma once

#include <openvr_driver.h>

#include <string>

namespace ZEMBRA {
namespace steamvr_driver {

struct Host {
  vr::IVRServerDriverHost* server = nullptr;
  vr::IVRSettings* settings = nullptr;
  vr::CVRPropertyHelpers* properties = nullptr;
  vr::IVRDriverInput* input = nullptr;
  vr::IVRDriverLog* log = nullptr;
};

// One message in SteamVR's driver log (vrserver.txt), printf-style.
void Log(const Host& host, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace steamvr_driver
}  // namespace ZEMBRA
