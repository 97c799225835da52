// The driver's settings, read once in Init from SteamVR's settings,
// section "driver_zembra"; resources/settings/default.vrsettings holds
// their defaults, which are also the values used when SteamVR has none.
#pragma once

#include <string>

#include "host.h"
#include "steamvr/placement/placement.h"
#include "steamvr/skeleton/hand_mapping.h"
#include "zembra/Pose.h"

namespace ZEMBRA {
namespace steamvr_driver {

constexpr const char* kSettingsSection = "driver_zembra";

struct HandSettings {
  std::string trackerSerial;  // empty: the tracker-choice rule
  placement::WristOffset offset;
};

struct DriverSettings {
  // Present the hands as Valve Index controllers (controller type, input
  // profile, model and render model), for titles that give finger
  // tracking to those only.
  bool emulateIndex = true;
  // Ask the gloves for their fingers' measured sideways spread (the driver
  // library's advanced mode) rather than the hand model's fixed one.
  bool measureSpread = true;
  HandSettings left, right;
  skeleton::MappingOptions mapping;

  const HandSettings& of(HandType hand) const { return hand == Hand_Right ? right : left; }
};

// The defaults, as default.vrsettings has them.
DriverSettings DefaultSettings();

// Each value from SteamVR, or its default when SteamVR has none; curl ranges
// whose closed bend does not lie above the open one are reported in the log
// and replaced by the defaults.
DriverSettings ReadSettings(const Host& host);

}  // namespace steamvr_driver
}  // namespace ZEMBRA
