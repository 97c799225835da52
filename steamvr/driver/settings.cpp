#include "settings.h"

#include <string>

namespace ZEMBRA {
namespace steamvr_driver {

namespace {

class Reader {
 public:
  explicit Reader(vr::IVRSettings* settings) : settings_(settings) {}

  void Bool(const char* key, bool& value) const {
    vr::EVRSettingsError error = vr::VRSettingsError_None;
    const bool read = settings_->GetBool(kSettingsSection, key, &error);
    if (error == vr::VRSettingsError_None) value = read;
  }
  void Number(const std::string& key, double& value) const {
    vr::EVRSettingsError error = vr::VRSettingsError_None;
    const float read = settings_->GetFloat(kSettingsSection, key.c_str(), &error);
    if (error == vr::VRSettingsError_None) value = double(read);
  }
  void Text(const std::string& key, std::string& value) const {
    vr::EVRSettingsError error = vr::VRSettingsError_None;
    char read[vr::k_unMaxPropertyStringSize] = {};
    settings_->GetString(kSettingsSection, key.c_str(), read, sizeof read, &error);
    if (error == vr::VRSettingsError_None) value = read;
  }

 private:
  vr::IVRSettings* settings_;
};

void ReadHand(const Reader& reader, const std::string& side, HandSettings& hand) {
  reader.Text(side + "_tracker_serial", hand.trackerSerial);
  placement::WristOffset& o = hand.offset;
  reader.Number(side + "_offset_position_x", o.x);
  reader.Number(side + "_offset_position_y", o.y);
  reader.Number(side + "_offset_position_z", o.z);
  reader.Number(side + "_offset_rotation_x", o.rotateX);
  reader.Number(side + "_offset_rotation_y", o.rotateY);
  reader.Number(side + "_offset_rotation_z", o.rotateZ);
}

void ReadRange(const Host& host, const Reader& reader, const std::string& prefix, skeleton::CurlRange& range) {
  skeleton::CurlRange read = range;
  reader.Number(prefix + "curl_open_degrees", read.open);
  reader.Number(prefix + "curl_closed_degrees", read.closed);
  if (read.closed >= read.open + 1) {
    range = read;
    return;
  }
  Log(host, "%scurl_closed_degrees (%g) must lie at least 1 degree above %scurl_open_degrees (%g): using %g and %g",
      prefix.c_str(), read.closed, prefix.c_str(), read.open, range.open, range.closed);
}

}  // namespace

DriverSettings DefaultSettings() {
  DriverSettings settings;
  settings.left.offset = placement::DefaultWristOffset(Hand_Left);
  settings.right.offset = placement::DefaultWristOffset(Hand_Right);
  return settings;
}

DriverSettings ReadSettings(const Host& host) {
  DriverSettings settings = DefaultSettings();
  if (!host.settings) return settings;
  const Reader reader(host.settings);
  reader.Bool("emulate_index", settings.emulateIndex);
  reader.Bool("measure_spread", settings.measureSpread);
  ReadHand(reader, "left", settings.left);
  ReadHand(reader, "right", settings.right);
  ReadRange(host, reader, "", settings.mapping.fingers);
  ReadRange(host, reader, "thumb_", settings.mapping.thumb);
  return settings;
}

}  // namespace steamvr_driver
}  // namespace ZEMBRA
