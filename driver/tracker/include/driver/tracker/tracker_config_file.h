// The tracker configuration file the lighthouse console downloads: setting
// its "render_model" member to the hand's model before it goes back.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>

#include "zembra/ZEMBRAIMU.h"

namespace ZEMBRA {
namespace tracker {

// A configuration file is a few kilobytes; anything far larger is not one.
constexpr size_t kMaxConfigFileBytes = 1 << 20;

struct RenderModelEdit {
  bool ok = false;
  std::string oldModel;  // empty when the member was absent or null
  std::string text;      // the whole edited value in JsonCpp's styled layout
  std::string error;     // why the content could not be edited
};

// Pure edit of the file's content. Fails (ok false) when the content is not
// one JSON object or its "render_model" is an array or an object; the caller
// then leaves the file as it is. A number or boolean is shown as text.
RenderModelEdit EditRenderModel(const std::string& content, const std::string& model);

// Reads a whole file of at most kMaxConfigFileBytes. False when it cannot be
// opened or read, or is larger.
bool ReadConfigFile(const std::filesystem::path& path, std::string& content);
// Replaces the file's content. False with the reason in error on failure.
bool WriteConfigFile(const std::filesystem::path& path, const std::string& content, std::string& error);

// The edit step of ConfigTracker on the file at path: prints "rendorModel: "
// and the old value, then "json file edit done!" to out; failures go to
// errOut. Returns IMUError_FileOpenFailed when the file cannot be read or is
// not a configuration that can be edited, IMUError_PortAccessDenied when
// writing it back failed, else IMUError_None.
EIMUError EditConfigFile(const std::filesystem::path& path, const std::string& model, std::ostream& out,
                         std::ostream& errOut);

}  // namespace tracker
}  // namespace ZEMBRA
