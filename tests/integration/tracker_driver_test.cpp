// A driver object in tracker mode on the fake runtime: detection at
// registration, status checks, the guards of the console operations, and
// the serials shared between the monitor thread and the client's threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <set>
#include <thread>

#include "driver/ZEMBRAIMUImpl.h"
#include "tests/support/fake_tracker_runtime.h"
#include "tests/support/pty_pair.h"
#include "tests/support/recording_handler.h"
#include "tests/support/stdout_capture.h"
#include "tests/support/tracker_standin.h"

namespace ZEMBRA {
namespace {

using testsupport::ConsoleWorkDir;
using testsupport::FakeTrackerRuntime;
using testsupport::Recording;
using testsupport::RecordingHandler;
using Clock = std::chrono::steady_clock;

// A mode-4 driver on a fake runtime the test keeps scripting.
struct TrackerDriver {
  explicit TrackerDriver(std::vector<int32_t> initErrors = {}, int mode = 4) {
    auto runtime = std::make_unique<FakeTrackerRuntime>();
    runtime->FailInit(std::move(initErrors));
    fake = runtime.get();
    driver = std::make_unique<ZEMBRAIMUImpl>(initError, mode, std::move(runtime));
  }
  void Register() {
    IZEMBRAIMUEventHandler* handler = new RecordingHandler(recording);
    driver->RegisterIMUDataCallback(handler, &recording);
  }
  void PointConsoleAt(const ConsoleWorkDir& dir) {
    testsupport::PutStandinConsoleFirstOnPath();
    tracker::ConsoleSettings& settings = driver->trackers()->consoleSettings();
    settings.workDir = dir.path();
    settings.startupTimeout = settings.transferTimeout = settings.identifyTimeout = std::chrono::milliseconds(5000);
  }

  EIMUError initError = IMUError_OperationFailed;
  FakeTrackerRuntime* fake = nullptr;
  Recording recording;
  std::unique_ptr<ZEMBRAIMUImpl> driver;
};

bool Is(const IMUEvent& e, IMUEventType type, HandType hand) { return e.type == type && e.hand == hand; }

TEST(TrackerDriver, RegistrationReportsConnectedTrackersLeftFirst) {
  TrackerDriver t;
  ASSERT_EQ(t.initError, IMUError_None);
  t.fake->SetDevice(1, FakeTrackerRuntime::Other(FakeTrackerRuntime::kClassController));
  t.fake->SetDevice(3, FakeTrackerRuntime::WirelessTracker("LHR-1A2B3C"));
  t.fake->SetDevice(7, FakeTrackerRuntime::WiredTracker("LHR-00ABCDEF"));

  testsupport::StdoutCapture capture;
  t.Register();
  const std::string said = capture.Stop();

  const std::vector<IMUEvent> events = t.recording.eventsSoFar();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_TRUE(Is(events[0], IMUEvent_TrackerConnected, Hand_Left));
  EXPECT_TRUE(Is(events[1], IMUEvent_TrackerConnected, Hand_Right));
  for (void* context : t.recording.contexts) EXPECT_EQ(context, &t.recording);
  EXPECT_EQ(said,
            "found connected LH tracker on: 3\nLH tracker Serial Number: 2B3C\n"
            "found connected RH tracker on: 7\nRH tracker Serial Number: CDEF\n");
  EXPECT_EQ(t.fake->callsBeforeInit(), 0);
}

TEST(TrackerDriver, StatusChecksDeliverEventsAndNeverWriteTheError) {
  TrackerDriver t;
  t.Register();
  t.fake->Activate(5, FakeTrackerRuntime::WiredTracker("AB12CD"));
  t.fake->Activate(6, FakeTrackerRuntime::Other(FakeTrackerRuntime::kClassBaseStation));
  t.fake->Deactivate(5);
  EIMUError err = IMUError_PortNotFound;
  t.driver->CheckTrackerStatus(err);
  EXPECT_EQ(err, IMUError_PortNotFound);
  const std::vector<IMUEvent> events = t.recording.eventsSoFar();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_TRUE(Is(events[0], IMUEvent_TrackerConnected, Hand_Left));
  EXPECT_TRUE(Is(events[1], IMUEvent_TrackerDisconnected, Hand_Left));
  EXPECT_EQ(t.fake->pendingEvents(), 0u);
}

TEST(TrackerDriver, APollingClientIsNotKeptSpinning) {
  TrackerDriver t;
  t.Register();
  EIMUError err = IMUError_None;
  constexpr int kCalls = 20;
  const auto start = Clock::now();
  for (int i = 0; i < kCalls; ++i) t.driver->CheckTrackerStatus(err);
  EXPECT_GE(Clock::now() - start, kCalls * tracker::kIdlePollWait);
}

TEST(TrackerDriver, WithoutARuntimeNothingIsDetectedAndEveryOperationFails) {
  testsupport::StdoutCapture capture;
  TrackerDriver t({108, 108, 108});
  const std::string said = capture.Stop();
  EXPECT_EQ(t.initError, IMUError_OperationFailed);
  EXPECT_EQ(testsupport::CountOf(said, "Unable to init runtime: fake runtime error 108\n"), 3u) << said;
  EXPECT_EQ(t.fake->initCalls(), 3);

  t.fake->SetDevice(3, FakeTrackerRuntime::WiredTracker("LHR-00000003"));
  t.fake->Activate(4, FakeTrackerRuntime::WiredTracker("LHR-00000004"));
  t.Register();
  EIMUError err = IMUError_None;
  t.driver->CheckTrackerStatus(err);
  EXPECT_EQ(err, IMUError_None);
  EXPECT_TRUE(t.recording.eventsSoFar().empty());
  EXPECT_EQ(t.fake->callsBeforeInit(), 0) << "the runtime must not be used uninitialised";

  for (HandType hand : {Hand_Left, Hand_Right, HandType(0)}) {
    err = IMUError_None;
    t.driver->ConfigTracker(err, hand);
    EXPECT_EQ(err, IMUError_OperationFailed);
    err = IMUError_None;
    t.driver->IdentifyTracker(err, hand);
    EXPECT_EQ(err, IMUError_OperationFailed);
  }
}

TEST(TrackerDriver, ALaterInitialisationAttemptMaySucceed) {
  testsupport::StdoutCapture capture;
  TrackerDriver t({108});
  const std::string said = capture.Stop();
  EXPECT_EQ(t.initError, IMUError_None);
  EXPECT_EQ(t.fake->initCalls(), 2);
  EXPECT_EQ(said, "Unable to init runtime: fake runtime error 108\n");
  EXPECT_TRUE(t.driver->trackerRuntimeReady());
}

TEST(TrackerDriver, GloveObjectsHaveNoTrackerOperations) {
  TrackerDriver t({}, 1);
  EXPECT_EQ(t.initError, IMUError_None);
  EXPECT_EQ(t.fake->initCalls(), 0);
  t.fake->SetDevice(3, FakeTrackerRuntime::WiredTracker("LHR-00000003"));
  t.Register();
  EXPECT_TRUE(t.recording.eventsSoFar().empty());
  EIMUError err = IMUError_None;
  t.driver->ConfigTracker(err, Hand_Left);
  EXPECT_EQ(err, IMUError_OperationFailed);
  err = IMUError_None;
  t.driver->IdentifyTracker(err, Hand_Left);
  EXPECT_EQ(err, IMUError_OperationFailed);
}

TEST(TrackerDriver, HandAndSerialAreCheckedBeforeAnyConsoleStarts) {
  ConsoleWorkDir dir;
  TrackerDriver t;
  t.PointConsoleAt(dir);
  t.fake->SetDevice(3, FakeTrackerRuntime::WiredTracker("LHR-00000003"));
  t.Register();  // a left tracker only: the right serial is empty

  for (int bad : {0, 1, 4}) {
    EIMUError err = IMUError_None;
    t.driver->ConfigTracker(err, HandType(bad));
    EXPECT_EQ(err, IMUError_InvalidHand) << bad;
    err = IMUError_None;
    t.driver->IdentifyTracker(err, HandType(bad));
    EXPECT_EQ(err, IMUError_InvalidHand) << bad;
  }
  EIMUError err = IMUError_None;
  t.driver->ConfigTracker(err, Hand_Right);
  EXPECT_EQ(err, IMUError_OperationFailed);
  err = IMUError_None;
  t.driver->IdentifyTracker(err, Hand_Right);
  EXPECT_EQ(err, IMUError_OperationFailed);
  EXPECT_FALSE(dir.StandinRan());
}

TEST(TrackerDriver, ConfigTrackerAddressesTheHandsTrackerByItsSerial) {
  ConsoleWorkDir dir;
  TrackerDriver t;
  t.PointConsoleAt(dir);
  t.fake->SetDevice(3, FakeTrackerRuntime::WirelessTracker("LHR-1A2B3C"));
  t.fake->SetDevice(7, FakeTrackerRuntime::WiredTracker("LHR-00ABCDEF"));
  t.Register();

  testsupport::StdoutCapture capture;
  EIMUError err = IMUError_OperationFailed;
  t.driver->ConfigTracker(err, Hand_Right);
  const std::string said = capture.Stop();
  EXPECT_EQ(err, IMUError_None) << said;
  EXPECT_NE(said.find("lighthouse_console /serial CDEF\n"), std::string::npos) << said;
  EXPECT_NE(said.find("RH.json deleted!\n"), std::string::npos) << said;
  ASSERT_GE(dir.LogLines().size(), 2u);
  EXPECT_EQ(dir.LogLines()[1], "args:/serial|CDEF");

  err = IMUError_OperationFailed;
  t.driver->IdentifyTracker(err, Hand_Left);
  EXPECT_EQ(err, IMUError_None);
  EXPECT_EQ(dir.LogLines().back(), "line:");
  std::set<std::string> args;
  for (const std::string& line : dir.LogLines())
    if (line.rfind("args:", 0) == 0) args.insert(line);
  EXPECT_EQ(args, (std::set<std::string>{"args:/serial|CDEF", "args:/serial|2B3C"}));
  for (int pid : dir.StandinPids()) EXPECT_TRUE(testsupport::ProcessGone(pid));
}

TEST(TrackerDriver, SerialsChangingOnTheMonitorThreadAreReadWhole) {
  ConsoleWorkDir dir;
  TrackerDriver t;
  t.PointConsoleAt(dir);
  t.Register();

  // The monitor thread keeps swapping the left tracker between two devices
  // while the client's thread identifies the left tracker.
  const std::set<std::string> serials = {"AAAA", "BBBB"};
  t.fake->Activate(3, FakeTrackerRuntime::WiredTracker("LHR-0000AAAA"));
  EIMUError first = IMUError_None;
  t.driver->CheckTrackerStatus(first);
  ASSERT_EQ(t.driver->trackers()->monitor()->Serial(Hand_Left), "AAAA");
  std::atomic<bool> stop{false};
  std::thread monitor([&] {
    EIMUError ignored = IMUError_None;
    bool first = true;
    while (!stop.load()) {
      if (t.fake->pendingEvents() == 0) {
        const uint32_t index = first ? 3 : 4;
        t.fake->Deactivate(index);
        t.fake->Activate(first ? 4 : 3, FakeTrackerRuntime::WiredTracker(first ? "LHR-0000BBBB" : "LHR-0000AAAA"));
        first = !first;
      }
      t.driver->CheckTrackerStatus(ignored);
    }
  });

  testsupport::StdoutCapture capture;
  for (int i = 0; i < 4; ++i) {
    EIMUError err = IMUError_OperationFailed;
    t.driver->IdentifyTracker(err, Hand_Left);
    EXPECT_EQ(err, IMUError_None);
  }
  stop = true;
  monitor.join();
  const std::string said = capture.Stop();
  if (HasFailure()) std::cout << said;

  size_t runs = 0;
  for (const std::string& line : dir.LogLines()) {
    if (line.rfind("args:/serial|", 0) != 0) continue;
    ++runs;
    EXPECT_EQ(serials.count(line.substr(13)), 1u) << line;
  }
  EXPECT_EQ(runs, 4u);
  for (int pid : dir.StandinPids()) EXPECT_TRUE(testsupport::ProcessGone(pid));
}

// Every descriptor a process holds, by what it points at.
std::vector<std::string> OpenFilesOf(int pid) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec))
    files.push_back(std::filesystem::read_symlink(entry.path(), ec).string());
  return files;
}

TEST(TrackerDriver, AReceiverReopensWhileTheConsoleStillRuns) {
  testsupport::PtyPair pty;
  ASSERT_TRUE(pty.Write(testsupport::MakeReport(std::vector<float>(100, 1.0f))));
  PortInfo info;
  info.port_name = pty.path();
  info.baud_rate = 1000000;
  testsupport::StdoutCapture capture;
  EIMUError err = IMUError_None;
  auto glove = std::make_unique<ZEMBRAIMUImpl>(err, 1, nullptr);
  glove->engine().SetHand(Hand_Left);
  glove->OpenPort(err, info);
  ASSERT_EQ(err, IMUError_None);

  // A console that attaches and then keeps the call waiting.
  ConsoleWorkDir dir;
  dir.Script("identify=silent");
  TrackerDriver t;
  t.PointConsoleAt(dir);
  t.driver->trackers()->consoleSettings().identifyTimeout = std::chrono::milliseconds(3000);
  t.fake->SetDevice(3, FakeTrackerRuntime::WiredTracker("LHR-0000AAAA"));
  t.Register();
  EIMUError identified = IMUError_None;
  std::thread identify([&] { t.driver->IdentifyTracker(identified, Hand_Left); });
  const auto until = Clock::now() + std::chrono::seconds(3);
  while (dir.StandinPids().empty() && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(dir.StandinPids().size(), 1u);
  const int console = dir.StandinPids().front();

  // The console holds its pipes and standard streams, nothing of ours.
  for (const std::string& file : OpenFilesOf(console)) EXPECT_NE(file, pty.path()) << "the console inherited the port";

  glove->ClosePort(err);
  auto again = std::make_unique<ZEMBRAIMUImpl>(err, 1, nullptr);
  again->engine().SetHand(Hand_Left);
  ASSERT_TRUE(pty.Write(testsupport::MakeReport(std::vector<float>(100, 1.0f))));
  err = IMUError_None;
  again->OpenPort(err, info);
  EXPECT_EQ(err, IMUError_None) << "the receiver must reopen while the console runs";
  EXPECT_FALSE(testsupport::ProcessGone(console)) << "the console was meant to still run";
  again->ClosePort(err);
  identify.join();
  capture.Stop();
  EXPECT_TRUE(testsupport::ProcessGone(console));
}

}  // namespace
}  // namespace ZEMBRA
