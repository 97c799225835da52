// The edit of the tracker configuration file: "render_model" set to the
// hand's model, everything else kept, and files that cannot be edited left
// as they are.
#include "driver/tracker/tracker_config_file.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace ZEMBRA {
namespace {

namespace fs = std::filesystem;

Json::Value Parse(const std::string& text) {
  Json::Value value;
  std::istringstream in(text);
  std::string errors;
  EXPECT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), in, &value, &errors)) << errors << "\n" << text;
  return value;
}

class TempDir {
 public:
  TempDir() {
    std::random_device seed;
    path_ = fs::temp_directory_path() / ("zembra-config-" + std::to_string(seed()) + std::to_string(seed()));
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteAll(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

const char* kConfig = R"({
  "device_class": "generic_tracker",
  "render_model": "{htc}vr_tracker_vive_1_0",
  "imu": { "acc_bias": [0.125, -0.25, 0.5], "plus_x": [1, 0, 0] },
  "serial": "LHR-1A2B3C"
})";

TEST(RenderModelEdit, SetsTheModelAndKeepsEverythingElse) {
  const tracker::RenderModelEdit edit = tracker::EditRenderModel(kConfig, "RH");
  ASSERT_TRUE(edit.ok) << edit.error;
  EXPECT_EQ(edit.oldModel, "{htc}vr_tracker_vive_1_0");

  Json::Value expected = Parse(kConfig);
  expected["render_model"] = "RH";
  EXPECT_EQ(Parse(edit.text), expected);
  // JsonCpp's styled layout: one member per line, three-space indentation.
  EXPECT_NE(edit.text.find("\n   \"render_model\" : \"RH\",\n"), std::string::npos) << edit.text;
}

TEST(RenderModelEdit, AnAbsentOrNullModelIsAddedWithAnEmptyOldValue) {
  for (const char* content : {R"({"serial": "LHR-1"})", R"({"serial": "LHR-1", "render_model": null})"}) {
    const tracker::RenderModelEdit edit = tracker::EditRenderModel(content, "LH");
    ASSERT_TRUE(edit.ok) << content;
    EXPECT_EQ(edit.oldModel, "");
    const Json::Value value = Parse(edit.text);
    EXPECT_EQ(value["render_model"], "LH");
    EXPECT_EQ(value["serial"], "LHR-1");
  }
}

TEST(RenderModelEdit, ContentThatIsNotAConfigurationObjectIsRefused) {
  const char* refused[] = {
      "",
      "{ \"render_model\": \"x\", ",    // cut short
      "[1, 2, 3]",                      // not an object
      "\"LH\"",                         // not an object
      "{ \"render_model\": [\"a\"] }",  // cannot be read as text
      "{ \"render_model\": {} }",       // cannot be read as text
      "{ \"a\": 1 } { \"b\": 2 }",      // more than one value
      "{ \"a\": 1 } trailing",          // more than one value
  };
  for (const char* content : refused) {
    const tracker::RenderModelEdit edit = tracker::EditRenderModel(content, "LH");
    EXPECT_FALSE(edit.ok) << content;
    EXPECT_FALSE(edit.error.empty()) << content;
  }
}

TEST(RenderModelEdit, ANumberOrBooleanModelIsShownAsTextAndReplaced) {
  const std::pair<const char*, const char*> cases[] = {{R"({"render_model": 42})", "42"},
                                                       {R"({"render_model": true})", "true"},
                                                       {R"({"render_model": false})", "false"}};
  for (const auto& [content, shown] : cases) {
    const tracker::RenderModelEdit edit = tracker::EditRenderModel(content, "RH");
    ASSERT_TRUE(edit.ok) << content << ": " << edit.error;
    EXPECT_EQ(edit.oldModel, shown);
    EXPECT_EQ(Parse(edit.text)["render_model"], "RH");
  }
}

TEST(RenderModelEdit, DeepNestingIsRefusedNotOverflowed) {
  const std::string deep = "{\"a\":" + std::string(100000, '[') + std::string(100000, ']') + "}";
  EXPECT_FALSE(tracker::EditRenderModel(deep, "LH").ok);
}

TEST(ConfigFileEdit, RewritesTheFileAndReportsTheOldModel) {
  TempDir dir;
  const fs::path file = dir.path() / "LH.json";
  WriteAll(file, kConfig);
  std::ostringstream out, err;
  EXPECT_EQ(tracker::EditConfigFile(file, "LH", out, err), IMUError_None);
  EXPECT_EQ(out.str(), "rendorModel: {htc}vr_tracker_vive_1_0json file edit done!\n");
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(Parse(ReadAll(file))["render_model"], "LH");
  EXPECT_EQ(Parse(ReadAll(file))["imu"]["acc_bias"][1].asDouble(), -0.25);

  // A longer file shrinks: nothing of the old content is left behind.
  WriteAll(file,
           std::string(R"({"render_model": "a-very-long-model-name", "pad": ")") + std::string(5000, 'x') + "\"}");
  ASSERT_EQ(tracker::EditConfigFile(file, "RH", out, err), IMUError_None);
  const std::string rewritten = ReadAll(file);
  EXPECT_EQ(Parse(rewritten)["render_model"], "RH");
  EXPECT_EQ(Parse(rewritten)["pad"].asString().size(), 5000u);
}

TEST(ConfigFileEdit, AMissingFileIsError3) {
  TempDir dir;
  std::ostringstream out, err;
  EXPECT_EQ(tracker::EditConfigFile(dir.path() / "RH.json", "RH", out, err), IMUError_FileOpenFailed);
  EXPECT_EQ(err.str(), "File could not be opened!\n");
  EXPECT_EQ(out.str(), "");
}

TEST(ConfigFileEdit, AFileThatCannotBeEditedIsError3AndLeftAsItWas) {
  TempDir dir;
  const fs::path file = dir.path() / "LH.json";
  for (const char* content : {"{ not json", "[\"LH\"]", "{\"render_model\": [7]}"}) {
    WriteAll(file, content);
    std::ostringstream out, err;
    EXPECT_EQ(tracker::EditConfigFile(file, "LH", out, err), IMUError_FileOpenFailed) << content;
    EXPECT_NE(err.str().find("LH.json"), std::string::npos) << err.str();
    EXPECT_EQ(out.str().find("json file edit done!"), std::string::npos);
    EXPECT_EQ(ReadAll(file), content);
  }
}

TEST(ConfigFileEdit, AnOversizedFileIsNotRead) {
  TempDir dir;
  const fs::path file = dir.path() / "LH.json";
  WriteAll(file, "{\"pad\": \"" + std::string(tracker::kMaxConfigFileBytes, 'x') + "\"}");
  std::string content;
  EXPECT_FALSE(tracker::ReadConfigFile(file, content));
  std::ostringstream out, err;
  EXPECT_EQ(tracker::EditConfigFile(file, "LH", out, err), IMUError_FileOpenFailed);
}

TEST(ConfigFileEdit, AFailedWriteSaysWhy) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(tracker::WriteConfigFile(dir.path() / "missing-dir" / "LH.json", "{}", error));
  EXPECT_NE(error.find("LH.json"), std::string::npos) << error;
  EXPECT_TRUE(tracker::WriteConfigFile(dir.path() / "LH.json", "{}", error));
  EXPECT_EQ(ReadAll(dir.path() / "LH.json"), "{}");
}

}  // namespace
}  // namespace ZEMBRA
