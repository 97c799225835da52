#include "driver/tracker/tracker_config_file.h"

#include <json/json.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <sstream>

#include "platform/file_io.h"

namespace ZEMBRA {
namespace tracker {

namespace {
constexpr const char* kRenderModel = "render_model";
}  // namespace

RenderModelEdit EditRenderModel(const std::string& content, const std::string& model) {
  RenderModelEdit edit;
  Json::CharReaderBuilder builder;
  // Content after the value would be lost when the file is rewritten.
  builder["failIfExtra"] = true;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value root;
  std::string parseErrors;
  bool parsed = false;
  try {
    parsed = reader->parse(content.data(), content.data() + content.size(), &root, &parseErrors);
  } catch (const std::exception& e) {
    // JsonCpp throws instead of failing on some inputs, nesting too deep.
    parseErrors = e.what();
  }
  if (!parsed) {
    edit.error = "not valid JSON: " + parseErrors;
    return edit;
  }
  if (!root.isObject()) {
    edit.error = "the configuration is not a JSON object";
    return edit;
  }
  const Json::Value old = root.get(kRenderModel, Json::Value());
  if (old.isArray() || old.isObject()) {
    // Cannot be read as text; anything else (a number, a boolean) is shown
    // as text and replaced.
    edit.error = "\"render_model\" is not a single value";
    return edit;
  }
  if (!old.isNull()) edit.oldModel = old.asString();
  root[kRenderModel] = model;
  edit.text = Json::StyledWriter().write(root);
  edit.ok = true;
  return edit;
}

bool ReadConfigFile(const std::filesystem::path& path, std::string& content) {
  return platform::ReadWholeFile(path.string(), kMaxConfigFileBytes, content) == 0;
}

bool WriteConfigFile(const std::filesystem::path& path, const std::string& content, std::string& error) {
  const int why = platform::ReplaceFile(path.string(), content);
  if (why == 0) return true;
  error = "Could not write " + path.string() + ": " + std::strerror(why);
  return false;
}

EIMUError EditConfigFile(const std::filesystem::path& path, const std::string& model, std::ostream& out,
                         std::ostream& errOut) {
  std::string content;
  if (!ReadConfigFile(path, content)) {
    errOut << "File could not be opened!\n" << std::flush;
    return IMUError_FileOpenFailed;
  }
  const RenderModelEdit edit = EditRenderModel(content, model);
  if (!edit.ok) {
    errOut << path.filename().string() << " left unedited: " << edit.error << std::endl;
    return IMUError_FileOpenFailed;
  }
  out << "rendorModel: " << edit.oldModel << std::flush;
  std::string error;
  if (!WriteConfigFile(path, edit.text, error)) {
    errOut << error << std::endl;
    return IMUError_PortAccessDenied;
  }
  out << "json file edit done!" << std::endl;
  return IMUError_None;
}

}  // namespace tracker
}  // namespace ZEMBRA
