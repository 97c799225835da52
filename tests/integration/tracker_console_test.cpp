// The lighthouse_console dialogues against the scripted stand-in, run as a
// real child process found on the PATH.
#include <gtest/gtest.h>
#include <json/json.h>

#include <chrono>
#include <sstream>

#include "driver/tracker/lighthouse_console.h"
#include "tests/support/tracker_standin.h"

namespace ZEMBRA {
namespace {

namespace fs = std::filesystem;
using testsupport::ConsoleWorkDir;
using testsupport::Occurrences;
using testsupport::ReadFileText;
using Clock = std::chrono::steady_clock;

Json::Value ParseJson(const std::string& text) {
  Json::Value value;
  std::istringstream in(text);
  std::string errors;
  EXPECT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), in, &value, &errors)) << errors << "\n" << text;
  return value;
}

class TrackerConsole : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testsupport::PutStandinConsoleFirstOnPath(); }

  TrackerConsole() {
    settings.workDir = dir.path();
    // Generous enough for a sanitised build, short enough for a quick test.
    settings.startupTimeout = std::chrono::milliseconds(5000);
    settings.transferTimeout = std::chrono::milliseconds(5000);
    settings.identifyTimeout = std::chrono::milliseconds(5000);
  }

  EIMUError Configure(HandType hand, const std::string& serial) {
    out.str("");
    err.str("");
    return tracker::ConfigureTracker(hand, serial, settings, out, err);
  }
  EIMUError Identify(const std::string& serial) {
    out.str("");
    return tracker::IdentifyTracker(serial, settings, out);
  }

  // Every stand-in this test started has been ended and reaped.
  void ExpectNoConsoleLeft() {
    for (int pid : dir.StandinPids()) EXPECT_TRUE(testsupport::ProcessGone(pid)) << "console " << pid << " left";
  }

  bool Said(const std::string& text) const { return out.str().find(text) != std::string::npos; }

  ConsoleWorkDir dir;
  tracker::ConsoleSettings settings;
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(TrackerConsole, ConfigureLeftDownloadsEditsUploadsAndDeletes) {
  EXPECT_EQ(Configure(Hand_Left, "2B3C"), IMUError_None) << out.str();

  // The dialogue as the stand-in saw it: the serial as one argument, each
  // command ending in CR LF and one more line feed.
  const std::vector<std::string> log = dir.LogLines();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[1], "args:/serial|2B3C");
  EXPECT_EQ(dir.InputLines(),
            (std::vector<std::string>{"downloadconfig LH.json\\r", "", "uploadconfig LH.json\\r", ""}));

  const std::string said = out.str();
  const char* inOrder[] = {
      "lighthouse_console /serial 2B3C\n",
      "Attached to lighthouse device with serial 2B3C\n",
      "Wrote config of 2B3C to LH.json\n",
      "downloadconfig end\n",
      "rendorModel: {htc}vr_tracker_vive_1_0json file edit done!\n",
      "Wrote LH.json to device 2B3C\n",
      "uploadconfig end\n",
      "LH.json deleted!\n",
  };
  size_t at = 0;
  for (const char* text : inOrder) {
    const size_t found = said.find(text, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << text << "\n" << said;
    at = found + 1;
  }

  // What reached the device: the model set, the rest as downloaded.
  const Json::Value uploaded = ParseJson(ReadFileText(dir.path() / "uploaded_LH.json"));
  EXPECT_EQ(uploaded["render_model"], "LH");
  EXPECT_EQ(uploaded["serial"], "2B3C");
  EXPECT_EQ(uploaded["imu"]["acc_bias"][2].asDouble(), 0.5);
  EXPECT_FALSE(fs::exists(dir.path() / "LH.json"));
  ExpectNoConsoleLeft();
}

TEST_F(TrackerConsole, ConfigureRightUsesTheRightHandsFileAndModel) {
  dir.Script("startup=ready_cr");  // a start-up line of one character
  EXPECT_EQ(Configure(Hand_Right, "CDEF"), IMUError_None) << out.str();
  EXPECT_EQ(dir.InputLines(),
            (std::vector<std::string>{"downloadconfig RH.json\\r", "", "uploadconfig RH.json\\r", ""}));
  EXPECT_EQ(ParseJson(ReadFileText(dir.path() / "uploaded_RH.json"))["render_model"], "RH");
  EXPECT_TRUE(Said("RH.json deleted!\n"));
  EXPECT_FALSE(fs::exists(dir.path() / "RH.json"));
  ExpectNoConsoleLeft();
}

TEST_F(TrackerConsole, AConfigurationWithoutAModelGainsOne) {
  dir.Script("config=no_render_model");
  EXPECT_EQ(Configure(Hand_Left, "0042"), IMUError_None) << out.str();
  EXPECT_TRUE(Said("rendorModel: json file edit done!\n")) << out.str();
  const Json::Value uploaded = ParseJson(ReadFileText(dir.path() / "uploaded_LH.json"));
  EXPECT_EQ(uploaded["render_model"], "LH");
  EXPECT_EQ(uploaded["device_class"], "generic_tracker");
}

TEST_F(TrackerConsole, AMissingDeviceEndsTheCallBeforeAnyCommand) {
  for (const char* script : {"startup=no_device", "startup=no_config_start"}) {
    ConsoleWorkDir fresh;
    settings.workDir = fresh.path();
    fresh.Script(script);
    EXPECT_EQ(Configure(Hand_Left, "2B3C"), IMUError_OperationFailed) << script;
    EXPECT_TRUE(Said("device disconnected\n")) << out.str();
    EXPECT_TRUE(fresh.InputLines().empty()) << script << ": no command may be sent";
    for (int pid : fresh.StandinPids()) EXPECT_TRUE(testsupport::ProcessGone(pid)) << script;

    EXPECT_EQ(Identify("2B3C"), IMUError_OperationFailed) << script;
    EXPECT_TRUE(Said("device disconnected\n"));
    EXPECT_TRUE(fresh.InputLines().empty()) << script;
    for (int pid : fresh.StandinPids()) EXPECT_TRUE(testsupport::ProcessGone(pid)) << script;
  }
}

TEST_F(TrackerConsole, AFileThatCannotBeEditedIsError3AndStillUploadedAsWritten) {
  for (const char* kind : {"invalid", "array_root"}) {
    ConsoleWorkDir fresh;
    settings.workDir = fresh.path();
    fresh.Script(std::string("config=") + kind);
    EXPECT_EQ(Configure(Hand_Left, "2B3C"), IMUError_FileOpenFailed) << kind << "\n" << out.str();
    EXPECT_NE(err.str().find("LH.json"), std::string::npos) << err.str();
    EXPECT_FALSE(Said("json file edit done!")) << kind;
    EXPECT_TRUE(Said("uploadconfig end\n")) << kind;
    EXPECT_TRUE(Said("LH.json deleted!\n")) << kind;
    // The console got the file exactly as it had written it.
    const std::string uploaded = ReadFileText(fresh.path() / "uploaded_LH.json");
    EXPECT_FALSE(uploaded.empty()) << kind;
    EXPECT_EQ(uploaded.find("\"LH\""), std::string::npos) << kind;
  }
}

TEST_F(TrackerConsole, NoDownloadedFileIsError3AndTheUploadStillFollows) {
  dir.Script("download=no_file\nupload=wrote_regardless");
  EXPECT_EQ(Configure(Hand_Left, "2B3C"), IMUError_FileOpenFailed) << out.str();
  EXPECT_EQ(err.str(), "File could not be opened!\n");
  EXPECT_EQ(dir.InputLines().size(), 4u);
  EXPECT_TRUE(Said("uploadconfig end\n"));
}

TEST_F(TrackerConsole, AFileThatSurvivesItsDeletionIsError5) {
  // A non-empty directory in the file's place cannot be removed.
  fs::create_directories(dir.path() / "LH.json" / "keep");
  dir.Script("download=no_file\nupload=wrote_regardless");
  EXPECT_EQ(Configure(Hand_Left, "2B3C"), IMUError_PortNotOpen) << out.str();
  EXPECT_TRUE(Said("uploadconfig end\n"));
  EXPECT_FALSE(Said("deleted!"));
  ExpectNoConsoleLeft();
}

TEST_F(TrackerConsole, AFailedUploadIsReportedAndTheConfirmationStillAwaited) {
  dir.Script("upload=fail_then_wrote");
  EXPECT_EQ(Configure(Hand_Left, "2B3C"), IMUError_None) << out.str();
  const size_t failed = out.str().find("uploadconfig failed\n");
  ASSERT_NE(failed, std::string::npos) << out.str();
  EXPECT_GT(out.str().find("uploadconfig end\n"), failed);
  EXPECT_TRUE(Said("LH.json deleted!\n"));
}

TEST_F(TrackerConsole, AnEmptyReplyToTheUploadEditsAndUploadsAgain) {
  dir.Script("upload=empty_once");
  EXPECT_EQ(Configure(Hand_Left, "2B3C"), IMUError_None) << out.str();
  EXPECT_EQ(Occurrences(out.str(), "json file edit done!\n"), 2u) << out.str();
  // The second edit found the model the first had set.
  EXPECT_NE(out.str().find("rendorModel: LHjson file edit done!\n"), std::string::npos) << out.str();
  EXPECT_EQ(dir.InputLines(), (std::vector<std::string>{"downloadconfig LH.json\\r", "", "uploadconfig LH.json\\r", "",
                                                        "uploadconfig LH.json\\r", ""}));
  EXPECT_TRUE(Said("LH.json deleted!\n"));
}

TEST_F(TrackerConsole, AFailedFirstEditKeepsItsCodeWhenTheEditAfterAnEmptyReplySucceeds) {
  dir.Script("download=no_file\nupload=empty_then_file");
  EXPECT_EQ(Configure(Hand_Right, "CDEF"), IMUError_FileOpenFailed) << out.str();
  EXPECT_EQ(err.str(), "File could not be opened!\n");
  EXPECT_EQ(Occurrences(out.str(), "json file edit done!\n"), 1u) << out.str();
  EXPECT_EQ(ParseJson(ReadFileText(dir.path() / "uploaded_RH.json"))["render_model"], "RH");
  EXPECT_TRUE(Said("RH.json deleted!\n"));
}

TEST_F(TrackerConsole, ANumberModelIsRewritten) {
  dir.Script("config=number_model");
  EXPECT_EQ(Configure(Hand_Left, "2B3C"), IMUError_None) << out.str() << err.str();
  EXPECT_TRUE(Said("rendorModel: 42json file edit done!\n")) << out.str();
  EXPECT_EQ(ParseJson(ReadFileText(dir.path() / "uploaded_LH.json"))["render_model"], "LH");
}

TEST_F(TrackerConsole, EndlessEmptyRepliesEndAfterABoundedNumberOfUploads) {
  dir.Script("upload=empty");
  settings.maxUploadAttempts = 3;
  EXPECT_EQ(Configure(Hand_Left, "2B3C"), IMUError_OperationFailed) << out.str();
  size_t uploads = 0;
  for (const std::string& line : dir.InputLines()) uploads += line == "uploadconfig LH.json\\r";
  EXPECT_EQ(uploads, 3u);
  EXPECT_FALSE(Said("deleted!"));
  ExpectNoConsoleLeft();
}

TEST_F(TrackerConsole, AConsoleThatExitsEarlyEndsTheCallWithError6) {
  for (const char* script : {"startup=exit", "download=exit", "upload=exit"}) {
    ConsoleWorkDir fresh;
    settings.workDir = fresh.path();
    fresh.Script(script);
    EXPECT_EQ(Configure(Hand_Left, "2B3C"), IMUError_OperationFailed) << script << "\n" << out.str();
    EXPECT_FALSE(Said("deleted!")) << script;
    for (int pid : fresh.StandinPids()) EXPECT_TRUE(testsupport::ProcessGone(pid)) << script;
  }
  {
    // Ended before it could take the command: the tracker was never asked.
    ConsoleWorkDir fresh;
    settings.workDir = fresh.path();
    fresh.Script("startup=exit");
    EXPECT_EQ(Identify("2B3C"), IMUError_OperationFailed) << out.str();
    for (int pid : fresh.StandinPids()) EXPECT_TRUE(testsupport::ProcessGone(pid));
  }
  {
    // Took the command and ended without its prompt: the identification was
    // asked for, which is all the call promises.
    ConsoleWorkDir fresh;
    settings.workDir = fresh.path();
    fresh.Script("identify=exit");
    EXPECT_EQ(Identify("2B3C"), IMUError_None) << out.str();
    EXPECT_EQ(fresh.InputLines(), (std::vector<std::string>{"identifycontroller\\r", ""}));
    EXPECT_FALSE(Said("identifycontroller end"));
    for (int pid : fresh.StandinPids()) EXPECT_TRUE(testsupport::ProcessGone(pid));
  }
}

TEST_F(TrackerConsole, ASilentConsoleTimesOutAndIsEnded) {
  settings.startupTimeout = std::chrono::milliseconds(400);
  settings.transferTimeout = std::chrono::milliseconds(400);
  settings.identifyTimeout = std::chrono::milliseconds(400);
  for (const char* script : {"startup=silent", "download=silent", "upload=silent", "identify=silent"}) {
    ConsoleWorkDir fresh;
    settings.workDir = fresh.path();
    fresh.Script(script);
    const auto start = Clock::now();
    const EIMUError result = std::string(script) == "identify=silent" ? Identify("2B3C") : Configure(Hand_Left, "2B3C");
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    EXPECT_EQ(result, IMUError_OperationFailed) << script;
    EXPECT_TRUE(Said("lighthouse_console did not answer in time\n")) << script << "\n" << out.str();
    EXPECT_GE(took.count(), 400) << script;
    EXPECT_LT(took.count(), 4000) << script;
    for (int pid : fresh.StandinPids()) EXPECT_TRUE(testsupport::ProcessGone(pid)) << script;
  }
}

TEST_F(TrackerConsole, WritingToAConsoleThatStoppedReadingFailsWithoutASignal) {
  dir.Script("startup=close_input");
  EXPECT_EQ(Configure(Hand_Left, "2B3C"), IMUError_OperationFailed) << out.str();
  EXPECT_TRUE(Said("lighthouse_console did not take the command: ")) << out.str();
  EXPECT_EQ(Identify("2B3C"), IMUError_OperationFailed) << out.str();
  EXPECT_TRUE(Said("lighthouse_console did not take the command: ")) << out.str();
  // Still here: the broken pipe did not end the process.
  ExpectNoConsoleLeft();
}

TEST_F(TrackerConsole, AConsoleNotOnThePathIsError2WithTheReason) {
  settings.program = "lighthouse_console_that_is_not_installed";
  EXPECT_EQ(Configure(Hand_Left, "2B3C"), IMUError_ProcessFailed);
  EXPECT_TRUE(Said("lighthouse_console_that_is_not_installed /serial 2B3C\n")) << out.str();
  EXPECT_TRUE(Said("not found")) << out.str();
  EXPECT_EQ(Identify("2B3C"), IMUError_ProcessFailed);
}

TEST_F(TrackerConsole, AnEmptySerialStartsNoConsole) {
  EXPECT_EQ(Configure(Hand_Left, ""), IMUError_OperationFailed);
  EXPECT_EQ(Identify(""), IMUError_OperationFailed);
  EXPECT_FALSE(dir.StandinRan());
  EXPECT_EQ(out.str(), "");
}

TEST_F(TrackerConsole, AnOddSerialStaysOneArgument) {
  EXPECT_EQ(Identify("A B;"), IMUError_None) << out.str();
  ASSERT_GE(dir.LogLines().size(), 2u);
  EXPECT_EQ(dir.LogLines()[1], "args:/serial|A B;");
}

TEST_F(TrackerConsole, IdentifyAsksTheTrackerAndWaitsForThePrompt) {
  EXPECT_EQ(Identify("9876"), IMUError_None) << out.str();
  EXPECT_EQ(dir.InputLines(), (std::vector<std::string>{"identifycontroller\\r", ""}));
  EXPECT_TRUE(Said("lighthouse_console /serial 9876\n"));
  EXPECT_TRUE(Said("Identifying device 9876\n"));
  EXPECT_TRUE(Said("lh>\nidentifycontroller end\n")) << out.str();
  ExpectNoConsoleLeft();

  // An empty line also ends the wait, without the end message.
  ConsoleWorkDir fresh;
  settings.workDir = fresh.path();
  fresh.Script("identify=empty");
  EXPECT_EQ(Identify("9876"), IMUError_None) << out.str();
  EXPECT_FALSE(Said("identifycontroller end"));
  for (int pid : fresh.StandinPids()) EXPECT_TRUE(testsupport::ProcessGone(pid));
}

}  // namespace
}  // namespace ZEMBRA
