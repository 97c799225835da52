// The OpenVR binding against a stand-in runtime library with the same
// exports and function table: loading, initialisation and its failures, the
// table calls, the event record, and a whole driver object on top.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "driver/ZEMBRAIMUImpl.h"
#include "driver/tracker/tracker_runtime.h"
#include "platform/dynamic_library.h"
#include "tests/support/recording_handler.h"
#include "tests/support/stdout_capture.h"

#ifndef ZEMBRA_STANDIN_OPENVR
#error "the build passes the stand-in runtime library as ZEMBRA_STANDIN_OPENVR"
#endif
#ifndef ZEMBRA_STANDIN_OPENVR_INCOMPLETE
#error "the build passes the incomplete stand-in library as ZEMBRA_STANDIN_OPENVR_INCOMPLETE"
#endif

namespace ZEMBRA {
namespace {

using tracker::DeviceEvent;

// The test's own handle on the stand-in library: the binding loads the same
// file, so both see one state.
class Standin {
 public:
  Standin() {
    if (!library_.Load(ZEMBRA_STANDIN_OPENVR)) ADD_FAILURE() << library_.error();
    load_ = reinterpret_cast<int (*)(const char*)>(library_.Symbol("StandinVR_Load"));
    count_ = reinterpret_cast<int (*)(const char*)>(library_.Symbol("StandinVR_Count"));
  }
  void Load(const char* scenario) {
    ASSERT_TRUE(load_);
    ASSERT_EQ(load_(scenario), 0) << "scenario line";
  }
  int Count(const char* name) { return count_ ? count_(name) : -1; }

 private:
  platform::DynamicLibrary library_;
  int (*load_)(const char*) = nullptr;
  int (*count_)(const char*) = nullptr;
};

TEST(OpenVRBinding, InitialisesThroughTheExportsAndCallsTheFunctionTable) {
  Standin standin;
  standin.Load(
      "device 0 1 1 0 - LHR-HMD00000\n"
      "device 3 3 1 1 LHR-1A2B3C LHR-FFFF0000\n"
      "device 7 3 0 0 - LHR-00ABCDEF\n"
      "fault 7 noterm\n"
      "event 100 3\n"
      "event 101 7\n");
  {
    auto runtime = tracker::MakeOpenVRRuntime(ZEMBRA_STANDIN_OPENVR);
    int32_t error = -5;
    ASSERT_TRUE(runtime->Init(error));
    EXPECT_EQ(error, 0);
    EXPECT_EQ(standin.Count("init"), 1);
    EXPECT_EQ(standin.Count("app_type"), 0) << "VRApplication_Other";
    EXPECT_EQ(standin.Count("startup_info"), 0) << "no start-up information";
    EXPECT_EQ(standin.Count("interface:FnTable:IVRSystem_019"), 1);

    EXPECT_EQ(runtime->GetTrackedDeviceClass(0), 1);
    EXPECT_EQ(runtime->GetTrackedDeviceClass(3), 3);
    EXPECT_EQ(runtime->GetTrackedDeviceClass(5), 0);
    EXPECT_TRUE(runtime->IsTrackedDeviceConnected(3));
    EXPECT_FALSE(runtime->IsTrackedDeviceConnected(7));
    int32_t propertyError = -1;
    EXPECT_TRUE(runtime->GetBoolTrackedDeviceProperty(3, tracker::kPropDeviceIsWireless, &propertyError));
    EXPECT_EQ(propertyError, 0);
    EXPECT_FALSE(runtime->GetBoolTrackedDeviceProperty(7, tracker::kPropDeviceIsWireless, nullptr));

    const uint32_t needed =
        runtime->GetStringTrackedDeviceProperty(3, tracker::kPropConnectedWirelessDongle, nullptr, 0, &propertyError);
    EXPECT_EQ(needed, 11u);
    char buffer[11];
    EXPECT_EQ(
        runtime->GetStringTrackedDeviceProperty(3, tracker::kPropConnectedWirelessDongle, buffer, 11, &propertyError),
        11u);
    EXPECT_STREQ(buffer, "LHR-1A2B3C");
    EXPECT_EQ(tracker::ReadIdentifyingString(*runtime, 7), "LHR-00ABCDEF") << "a string the runtime left unended";

    DeviceEvent event;
    ASSERT_TRUE(runtime->PollNextEvent(event));
    EXPECT_EQ(event.type, tracker::kEventDeviceActivated);
    EXPECT_EQ(event.deviceIndex, 3u);
    // The record size of the IVRSystem_019 releases on this platform.
    EXPECT_EQ(standin.Count("event_size"), 44);
    ASSERT_TRUE(runtime->PollNextEvent(event));
    EXPECT_EQ(event.type, tracker::kEventDeviceDeactivated);
    EXPECT_EQ(event.deviceIndex, 7u);
    EXPECT_FALSE(runtime->PollNextEvent(event));
    EXPECT_EQ(standin.Count("calls_uninitialised"), 0);
    EXPECT_EQ(standin.Count("shutdown"), 0) << "the runtime stays up while in use";
  }
  EXPECT_EQ(standin.Count("shutdown"), 1) << "released before the library is unloaded";
}

TEST(OpenVRBinding, RuntimeErrorsEndTheAttemptWithTheirDescription) {
  Standin standin;
  standin.Load("init_errors 108\n");
  auto runtime = tracker::MakeOpenVRRuntime(ZEMBRA_STANDIN_OPENVR);
  int32_t error = 0;
  EXPECT_FALSE(runtime->Init(error));
  EXPECT_EQ(error, 108);
  EXPECT_EQ(runtime->ErrorText(error), "Hmd Not Found (108)");
  // The next attempt may work.
  EXPECT_TRUE(runtime->Init(error));
  EXPECT_EQ(standin.Count("init"), 2);
}

TEST(OpenVRBinding, AMissingSystemInterfaceShutsTheRuntimeDownAgain) {
  for (const char* scenario : {"interface_valid 0\n", "table_missing 1\n"}) {
    Standin standin;
    standin.Load(scenario);
    auto runtime = tracker::MakeOpenVRRuntime(ZEMBRA_STANDIN_OPENVR);
    int32_t error = 0;
    EXPECT_FALSE(runtime->Init(error)) << scenario;
    EXPECT_EQ(error, 105) << scenario;
    EXPECT_EQ(standin.Count("shutdown"), 1) << scenario;
    EXPECT_EQ(standin.Count("initialised"), 0) << scenario;
  }
}

TEST(OpenVRBinding, AnAbsentOrIncompleteLibraryFailsCleanlyAndSaysWhy) {
  const std::filesystem::path absent = std::filesystem::path(ZEMBRA_STANDIN_OPENVR).parent_path() / "no-such-openvr.so";
  auto missing = tracker::MakeOpenVRRuntime(absent.string());
  int32_t error = 0;
  EXPECT_FALSE(missing->Init(error));
  const std::string missingText = missing->ErrorText(error);
  EXPECT_NE(missingText.find("OpenVR runtime library unavailable"), std::string::npos) << missingText;
  EXPECT_NE(missingText.find("no-such-openvr.so"), std::string::npos) << missingText;

  auto incomplete = tracker::MakeOpenVRRuntime(ZEMBRA_STANDIN_OPENVR_INCOMPLETE);
  EXPECT_FALSE(incomplete->Init(error));
  const std::string incompleteText = incomplete->ErrorText(error);
  EXPECT_NE(incompleteText.find("lacks the OpenVR exports"), std::string::npos) << incompleteText;
}

TEST(OpenVRBinding, ADriverObjectFindsTheLibraryThroughTheEnvironment) {
  Standin standin;
  standin.Load(
      "init_errors 110\n"
      "device 2 2 1 1 LHR-CTRL0002 LHR-CTRL0002\n"
      "device 3 3 1 1 LHR-1A2B3C LHR-FFFF0000\n"
      "device 7 3 1 0 - LHR-00ABCDEF\n"
      "device 9 3 0 0 - XYZ\n"
      "event 101 3\n"
      "event 100 9\n"
      "event 100 2\n");
  ASSERT_EQ(setenv("ZEMBRA_OPENVR_LIBRARY", ZEMBRA_STANDIN_OPENVR, 1), 0);
  testsupport::StdoutCapture capture;
  testsupport::Recording recording;
  {
    EIMUError err = IMUError_OperationFailed;
    ZEMBRAIMUImpl driver(err, 4, tracker::MakeOpenVRRuntime());
    unsetenv("ZEMBRA_OPENVR_LIBRARY");
    EXPECT_EQ(err, IMUError_None);
    EXPECT_EQ(standin.Count("init"), 2);

    IZEMBRAIMUEventHandler* handler = new testsupport::RecordingHandler(recording);
    driver.RegisterIMUDataCallback(handler, nullptr);
    driver.CheckTrackerStatus(err);
    EXPECT_EQ(standin.Count("pending"), 0);
    EXPECT_EQ(standin.Count("event_size"), 44);
    EXPECT_EQ(standin.Count("calls_uninitialised"), 0);
    EXPECT_EQ(standin.Count("shutdown"), 0);
  }
  EXPECT_EQ(standin.Count("shutdown"), 1);
  const std::string said = capture.Stop();
  EXPECT_EQ(said,
            "Unable to init runtime: Installation path could not be located (110)\n"
            "found connected LH tracker on: 3\nLH tracker Serial Number: 2B3C\n"
            "found connected RH tracker on: 7\nRH tracker Serial Number: CDEF\n"
            "LH tracker disconnected\n"
            "LH tracker connected on: 9\nOriginal LH tracker Serial Number: XYZ\n");
  const std::vector<IMUEvent> events = recording.eventsSoFar();
  ASSERT_EQ(events.size(), 4u);
  const IMUEvent expected[] = {{IMUEvent_TrackerConnected, Hand_Left},
                               {IMUEvent_TrackerConnected, Hand_Right},
                               {IMUEvent_TrackerDisconnected, Hand_Left},
                               {IMUEvent_TrackerConnected, Hand_Left}};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(events[i].type, expected[i].type) << i;
    EXPECT_EQ(events[i].hand, expected[i].hand) << i;
  }
}

TEST(OpenVRBinding, TheRuntimeStaysUpUntilTheLastTrackerObjectOfTheProcessGoes) {
  Standin standin;
  standin.Load("device 3 3 1 0 - LHR-00001111\n");
  testsupport::StdoutCapture capture;
  EIMUError err = IMUError_OperationFailed;
  auto first = std::make_unique<ZEMBRAIMUImpl>(err, 4, tracker::MakeOpenVRRuntime(ZEMBRA_STANDIN_OPENVR));
  ASSERT_EQ(err, IMUError_None);
  auto second = std::make_unique<ZEMBRAIMUImpl>(err, 4, tracker::MakeOpenVRRuntime(ZEMBRA_STANDIN_OPENVR));
  ASSERT_EQ(err, IMUError_None);
  EXPECT_EQ(standin.Count("init"), 1) << "the second object shares the running runtime";

  first.reset();
  EXPECT_EQ(standin.Count("shutdown"), 0) << "another object still uses the runtime";
  testsupport::Recording recording;
  IZEMBRAIMUEventHandler* handler = new testsupport::RecordingHandler(recording);
  second->RegisterIMUDataCallback(handler, nullptr);
  second->CheckTrackerStatus(err);
  EXPECT_EQ(standin.Count("calls_uninitialised"), 0);
  ASSERT_EQ(recording.eventsSoFar().size(), 1u) << "the second object still sees the tracker";

  second.reset();
  EXPECT_EQ(standin.Count("shutdown"), 1);
  capture.Stop();
}

}  // namespace
}  // namespace ZEMBRA
