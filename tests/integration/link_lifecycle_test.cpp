// The glove link through whole lifecycles over a real pseudo-terminal: every
// order of open, fail, close, pair and close a client may use returns in
// bounded time, reports its failures, and leaves nothing running.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <thread>

#include "driver/ZEMBRAIMUImpl.h"
#include "tests/support/pty_pair.h"
#include "tests/support/recording_handler.h"
#include "tests/support/stdout_capture.h"
#include "tests/support/temp_dir.h"

namespace ZEMBRA {
namespace {

using namespace std::chrono_literals;
using testsupport::CountOf;
using testsupport::MakeReport;
using testsupport::PtyPair;
using testsupport::Recording;
using testsupport::RecordingHandler;
using testsupport::StdoutCapture;

// Runs call and gives up on the whole process if it does not return: a hung
// driver call cannot be recovered from inside the test.
void Within(std::chrono::milliseconds limit, const char* what, const std::function<void()>& call) {
  std::packaged_task<void()> task(call);
  std::future<void> done = task.get_future();
  std::thread runner(std::move(task));
  if (done.wait_for(limit) != std::future_status::ready) {
    std::fprintf(stderr, "%s did not return within %lld ms\n", what, static_cast<long long>(limit.count()));
    std::abort();
  }
  runner.join();
}

class LinkLifecycle : public ::testing::Test {
 protected:
  LinkLifecycle() {
    EIMUError err;
    link::LinkTimings timings;
    timings.reportTimeout = 400ms;
    driver_ = std::make_unique<ZEMBRAIMUImpl>(err, 1, nullptr, timings);
    driver_->engine().SetHand(Hand_Left);
    IZEMBRAIMUEventHandler* handler = new RecordingHandler(recording_);
    driver_->RegisterIMUDataCallback(handler, nullptr);
  }
  PortInfo Info(int baud = 1000000) const {
    PortInfo info;
    info.port_name = pty_.path();
    info.baud_rate = baud;
    return info;
  }

  PtyPair pty_;
  Recording recording_;
  std::unique_ptr<ZEMBRAIMUImpl> driver_;
};

// An OpenPort that opened the port and then failed, in each way it can.
enum class OpenFailure { NoReport, MalformedReport, RefusedLineSetting, RefusedPairingLineSetting };

TEST_F(LinkLifecycle, PairingAfterAFailedOpenAndCloseStillClosesAndDestroys) {
  for (OpenFailure failure : {OpenFailure::NoReport, OpenFailure::MalformedReport, OpenFailure::RefusedLineSetting,
                              OpenFailure::RefusedPairingLineSetting}) {
    for (bool closeAtEnd : {true, false}) {
      SCOPED_TRACE(int(failure) * 10 + closeAtEnd);
      PtyPair pty;
      EIMUError err;
      link::LinkTimings timings;
      timings.reportTimeout = 300ms;
      Recording recording;
      auto driver = std::make_unique<ZEMBRAIMUImpl>(err, 1, nullptr, timings);
      driver->engine().SetHand(Hand_Right);
      IZEMBRAIMUEventHandler* handler = new RecordingHandler(recording);
      driver->RegisterIMUDataCallback(handler, nullptr);
      PortInfo info;
      info.port_name = pty.path();
      info.baud_rate = 1000000;
      StdoutCapture capture;

      err = IMUError_None;
      if (failure == OpenFailure::MalformedReport) {
        std::string report = MakeReport(std::vector<float>(50, 1.0f));
        report.insert(report.size() - 4, "abc,");  // channel 51 is not a number
        pty.Write(report);
      }
      PortInfo first = info;
      if (failure == OpenFailure::RefusedLineSetting || failure == OpenFailure::RefusedPairingLineSetting) {
        first.baud_rate = 12345;  // no such line speed
      }
      if (failure == OpenFailure::RefusedPairingLineSetting) {
        driver->StartPairing(90, first, err);
      } else {
        driver->OpenPort(err, first);
      }
      EXPECT_EQ(err, IMUError_OperationFailed);

      Within(5s, "ClosePort after the failure", [&] { driver->ClosePort(err); });
      err = IMUError_PortNotFound;
      driver->StartPairing(90, info, err);
      ASSERT_EQ(err, IMUError_None);
      EXPECT_EQ(pty.Read(10, 1000ms).size(), 10u);
      pty.Write("finished");
      EXPECT_TRUE(recording.WaitFor(2000ms, [&] { return !recording.events.empty(); }));
      if (closeAtEnd) {
        Within(5s, "ClosePort after the pairing", [&] { driver->ClosePort(err); });
        EXPECT_EQ(err, IMUError_None);
      }
      Within(5s, "destroying the driver", [&] { driver.reset(); });
      EXPECT_EQ(recording.destroyed, 1);
    }
  }
}

TEST_F(LinkLifecycle, PairingOpenFailuresAreReportedNotLeftAsTheCallerSetThem) {
  StdoutCapture capture;
  PortInfo missing = Info();
  missing.port_name = "/nonexistent/ttyZEMBRA";
  EIMUError err = IMUError_None;
  driver_->StartPairing(80, missing, err);
  EXPECT_EQ(err, IMUError_PortAccessDenied);
  err = IMUError_None;
  driver_->StartPairing(80, Info(12345), err);
  EXPECT_EQ(err, IMUError_OperationFailed);
  EXPECT_EQ(pty_.Read(1, 100ms), "") << "nothing may be sent on a port that was not set up";
  const std::string out = capture.Stop();
  EXPECT_NE(out.find("error : port_->open() failed...com_port_name=/nonexistent/ttyZEMBRA, e="), std::string::npos);
  EXPECT_EQ(out.find("Port is already opened...2"), std::string::npos) << "a missing port is not held elsewhere";
}

TEST_F(LinkLifecycle, OneDeadlineBoundsTheWholeWaitForTheChannelReport) {
  std::atomic<bool> sending{true};
  std::thread receiver([&] {
    // Blocks of at most 700 bytes that end in the delimiter, for longer
    // than any test may take: each one would restart a per-read time-out.
    for (int i = 0; i < 200 && sending; ++i) {
      pty_.Write(std::string(200, 'y') + "TUPU");
      std::this_thread::sleep_for(50ms);
    }
  });
  StdoutCapture capture;
  EIMUError err = IMUError_None;
  const auto start = std::chrono::steady_clock::now();
  driver_->OpenPort(err, Info());
  const auto took = std::chrono::steady_clock::now() - start;
  sending = false;
  receiver.join();
  EXPECT_EQ(err, IMUError_OperationFailed);
  EXPECT_LT(took, 2s);
  driver_->ClosePort(err);
}

// The newest descriptor of our own process that has path open (the test's
// pseudo-terminal holds an older one on the same path).
int NewestDescriptorOf(const std::string& path) {
  int newest = -1;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (std::filesystem::read_symlink(entry.path(), ec) == path)
      newest = std::max(newest, std::stoi(entry.path().filename().string()));
  }
  return newest;
}

TEST_F(LinkLifecycle, AFailedCloseIsNotReportedAsASuccessfulOne) {
  StdoutCapture capture;
  EIMUError err = IMUError_None;
  driver_->OpenPort(err, Info());  // no report: fails with the port open
  ASSERT_EQ(err, IMUError_OperationFailed);
  const int fd = NewestDescriptorOf(pty_.path());
  ASSERT_GE(fd, 0);
  ::close(fd);  // behind the link's back: its own close now fails
  driver_->ClosePort(err);
  EXPECT_EQ(err, IMUError_OperationFailed);
  const std::string out = capture.Stop();
  EXPECT_EQ(out.find("Port successfully closed"), std::string::npos) << out;
  EXPECT_NE(out.find("close"), std::string::npos);
}

TEST_F(LinkLifecycle, APermissionFailureSaysWhyAndWhereToLook) {
  testsupport::TempDir dir;
  const std::string locked = dir.path() + "/ttyLocked";
  ASSERT_EQ(::close(::open(locked.c_str(), O_CREAT | O_WRONLY, 0)), 0);
  // In a child, so that root can drop its rights without affecting the rest.
  EXPECT_EXIT(
      {
        if (::geteuid() == 0 && ::setuid(65534) != 0) std::_Exit(2);
        std::string out;
        EIMUError err = IMUError_None;
        {
          StdoutCapture capture;
          PortInfo info = Info();
          info.port_name = locked;
          driver_->StartPairing(80, info, err);
          out = capture.Stop();
        }
        std::fprintf(stderr, "%s", out.c_str());
        const bool ok = err == IMUError_PortAccessDenied && out.find("Permission denied") != std::string::npos &&
                        out.find("docs/linux-setup.md") != std::string::npos &&
                        out.find("Port is already opened...2") == std::string::npos;
        std::_Exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(LinkLifecycle, PairingWaitsThroughMoreBytesThanTheBufferHolds) {
  StdoutCapture capture;
  EIMUError err = IMUError_OperationFailed;
  driver_->StartPairing(80, Info(), err);
  ASSERT_EQ(err, IMUError_None);
  ASSERT_EQ(pty_.Read(10, 1000ms).size(), 10u);
  // 96 KiB of chatter, the confirmation split across the last two writes.
  for (int i = 0; i < 24; ++i) {
    ASSERT_TRUE(pty_.WriteWithin(std::string(4096, 'n'), 2000ms)) << "the link stopped reading";
    std::this_thread::sleep_for(2ms);
  }
  ASSERT_TRUE(pty_.Write("...fini"));
  std::this_thread::sleep_for(20ms);
  ASSERT_TRUE(pty_.Write("shed"));
  EXPECT_TRUE(recording_.WaitFor(3000ms, [&] { return !recording_.events.empty(); }));
  driver_->ClosePort(err);
  const std::string out = capture.Stop();
  EXPECT_NE(out.find("Pairing Finished!"), std::string::npos);
  EXPECT_EQ(out.find("Element not found"), std::string::npos);
}

TEST_F(LinkLifecycle, RefusedOpensWhileStreamingLeaveTheReaderAlone) {
  ASSERT_TRUE(pty_.Write(MakeReport(std::vector<float>(100, 1.0f))));
  StdoutCapture capture;
  EIMUError err = IMUError_None;
  driver_->OpenPort(err, Info());
  ASSERT_EQ(err, IMUError_None);
  std::atomic<bool> sending{true};
  std::thread receiver([&] {
    // Reads keep completing, so the reader thread keeps using its times.
    while (sending) {
      pty_.Write("xx");
      std::this_thread::sleep_for(1ms);
    }
  });
  for (const auto until = std::chrono::steady_clock::now() + 300ms; std::chrono::steady_clock::now() < until;) {
    err = IMUError_None;
    driver_->OpenPort(err, Info());
    EXPECT_EQ(err, IMUError_PortAccessDenied);
    err = IMUError_None;
    driver_->StartPairing(80, Info(), err);
    EXPECT_EQ(err, IMUError_PortAccessDenied);
  }
  sending = false;
  receiver.join();
  driver_->ClosePort(err);
  EXPECT_EQ(err, IMUError_None);
}

}  // namespace
}  // namespace ZEMBRA
