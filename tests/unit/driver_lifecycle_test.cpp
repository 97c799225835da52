// The driver as a client sees it: only the public header and the shared
// library's two exports.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "zembra/ZEMBRAIMU.h"

namespace ZEMBRA {
namespace {

using Clock = std::chrono::steady_clock;

class CountingHandler final : public IZEMBRAIMUEventHandler {
 public:
  explicit CountingHandler(int& destroyed) : destroyed_(destroyed) {}
  ~CountingHandler() override { ++destroyed_; }
  void OnReceivedIMUData(Pose, void*) override {}
  void OnReceivedIMUEvent(IMUEvent, void*) override {}

 private:
  int& destroyed_;
};

TEST(DriverLifecycle, InitInGloveModesSucceedsAndUnInitNullsThePointer) {
  for (int mode : {1, 2}) {
    EIMUError err = IMUError_OperationFailed;
    IZEMBRAIMU* driver = InitDataGlove(err, mode);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(err, IMUError_None);
    UnInit(driver);  // no handler registered
    EXPECT_EQ(driver, nullptr);
    UnInit(driver);  // a null pointer is left alone
    EXPECT_EQ(driver, nullptr);
  }
  IZEMBRAIMU* none = nullptr;
  UnInit(none);
  EXPECT_EQ(none, nullptr);
}

TEST(DriverLifecycle, UnInitDestroysOnlyTheLastRegisteredHandler) {
  EIMUError err = IMUError_OperationFailed;
  IZEMBRAIMU* driver = InitDataGlove(err, 1);
  int firstDestroyed = 0, secondDestroyed = 0;
  IZEMBRAIMUEventHandler* first = new CountingHandler(firstDestroyed);
  IZEMBRAIMUEventHandler* second = new CountingHandler(secondDestroyed);
  int context = 0;
  driver->RegisterIMUDataCallback(first, &context);
  driver->RegisterIMUDataCallback(second, &context);
  EXPECT_EQ(firstDestroyed, 0);  // replaced, not destroyed
  UnInit(driver);
  EXPECT_EQ(driver, nullptr);
  EXPECT_EQ(secondDestroyed, 1);
  EXPECT_EQ(firstDestroyed, 0);
  delete first;  // still the client's
  EXPECT_EQ(firstDestroyed, 1);
}

TEST(DriverLifecycle, UnregisterDestroysTheHandlerOnceAndThenDoesNothing) {
  EIMUError err = IMUError_OperationFailed;
  IZEMBRAIMU* driver = InitDataGlove(err, 1);
  int destroyed = 0;
  IZEMBRAIMUEventHandler* handler = new CountingHandler(destroyed);
  driver->RegisterIMUDataCallback(handler, nullptr);
  driver->UnregisterIMUDataCallback();
  EXPECT_EQ(destroyed, 1);
  driver->UnregisterIMUDataCallback();
  UnInit(driver);
  EXPECT_EQ(destroyed, 1);
}

TEST(DriverLifecycle, SetAdvancedModeAlwaysSucceeds) {
  EIMUError err = IMUError_OperationFailed;
  IZEMBRAIMU* driver = InitDataGlove(err, 2);
  for (bool enabled : {false, true, false}) {
    err = IMUError_OperationFailed;
    driver->SetAdvancedMode(err, enabled);
    EXPECT_EQ(err, IMUError_None);
  }
  UnInit(driver);
}

TEST(DriverLifecycle, GetFingerValueChecksItsIndex) {
  EIMUError err = IMUError_None;
  IZEMBRAIMU* driver = InitDataGlove(err, 1);
  for (int index : {5, -1, 100, -2147483647 - 1}) {
    err = IMUError_None;
    EXPECT_EQ(driver->GetFingerValue(index, err), 0.0) << index;
    EXPECT_EQ(err, IMUError_IndexOutOfRange) << index;
  }
  for (int index = 0; index < 5; ++index) {
    err = IMUError_OperationFailed;
    EXPECT_EQ(driver->GetFingerValue(index, err), 0.0) << index;  // no pose yet
    EXPECT_EQ(err, IMUError_None) << index;
  }
  UnInit(driver);
}

TEST(DriverLifecycle, CheckTrackerStatusNeverWritesTheError) {
  EIMUError err = IMUError_None;
  IZEMBRAIMU* driver = InitDataGlove(err, 1);
  err = IMUError_PortNotFound;
  driver->CheckTrackerStatus(err);
  EXPECT_EQ(err, IMUError_PortNotFound);
  UnInit(driver);
}

// Everything the process writes to its standard output, line by line with
// the time each line arrived.
class StdoutRecorder {
 public:
  struct Line {
    Clock::time_point at;
    std::string text;
  };

  StdoutRecorder() {
    std::fflush(stdout);
    if (pipe(fds_) != 0) std::abort();
    saved_ = dup(STDOUT_FILENO);
    dup2(fds_[1], STDOUT_FILENO);
    close(fds_[1]);
    reader_ = std::thread([this] {
      std::string partial;
      char buffer[256];
      for (;;) {
        const ssize_t n = read(fds_[0], buffer, sizeof buffer);
        if (n <= 0) break;
        const auto now = Clock::now();
        for (ssize_t i = 0; i < n; ++i) {
          if (buffer[i] != '\n') {
            partial += buffer[i];
            continue;
          }
          std::lock_guard<std::mutex> lock(mutex_);
          lines_.push_back({now, partial});
          partial.clear();
        }
      }
    });
  }

  std::vector<Line> Stop() {
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);  // closes the pipe's last write end
    close(saved_);
    reader_.join();
    close(fds_[0]);
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }

 private:
  int fds_[2] = {-1, -1};
  int saved_ = -1;
  std::thread reader_;
  std::mutex mutex_;
  std::vector<Line> lines_;
};

TEST(DriverLifecycle, TrackerModeWithoutARuntimeRetriesThreeTimesAndReportsError6) {
  // Point the driver at a runtime library that does not exist.
  const std::filesystem::path missing =
      std::filesystem::temp_directory_path() / ("zembra-no-runtime-" + std::to_string(getpid())) / "libopenvr_api.so";
  ASSERT_FALSE(std::filesystem::exists(missing));
  setenv("ZEMBRA_OPENVR_LIBRARY", missing.c_str(), 1);

  StdoutRecorder recorder;
  const auto start = Clock::now();
  EIMUError err = IMUError_None;
  IZEMBRAIMU* driver = InitDataGlove(err, 4);
  const auto elapsed = Clock::now() - start;
  const std::vector<StdoutRecorder::Line> lines = recorder.Stop();
  unsetenv("ZEMBRA_OPENVR_LIBRARY");

  ASSERT_NE(driver, nullptr);
  EXPECT_EQ(err, IMUError_OperationFailed);
  ASSERT_EQ(lines.size(), 3u);
  for (const auto& line : lines) {
    EXPECT_EQ(line.text.rfind("Unable to init runtime: ", 0), 0u) << line.text;
    EXPECT_GT(line.text.size(), std::string("Unable to init runtime: ").size()) << "no error description";
  }
  for (size_t i = 1; i < lines.size(); ++i) {
    const auto gap = std::chrono::duration_cast<std::chrono::milliseconds>(lines[i].at - lines[i - 1].at).count();
    EXPECT_GE(gap, 90) << "attempts " << i << " and " << i + 1;
    EXPECT_LT(gap, 1000) << "attempts " << i << " and " << i + 1;
  }
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 290);

  // The object works all the same, and a handler registered in mode 4 is
  // still the driver's to destroy.
  int destroyed = 0;
  IZEMBRAIMUEventHandler* handler = new CountingHandler(destroyed);
  driver->RegisterIMUDataCallback(handler, nullptr);
  err = IMUError_None;
  driver->CheckTrackerStatus(err);
  EXPECT_EQ(err, IMUError_None);
  UnInit(driver);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(driver, nullptr);
}

#ifndef ZEMBRAIMU_LIBRARY_FILE
#error "the build passes the shared library's file as ZEMBRAIMU_LIBRARY_FILE"
#endif
TEST(DriverLibrary, ExportsExactlyInitDataGloveAndUnInit) {
  const std::string command = std::string("nm -D --defined-only '") + ZEMBRAIMU_LIBRARY_FILE + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> names;
  std::string all;
  char line[1024];
  while (std::fgets(line, sizeof line, pipe)) {
    all += line;
    std::istringstream fields(line);
    std::string address, type, name;
    if (fields >> address >> type >> name) names.insert(name);
  }
  ASSERT_EQ(pclose(pipe), 0) << "nm failed on " << ZEMBRAIMU_LIBRARY_FILE;
  EXPECT_EQ(names, (std::set<std::string>{"InitDataGlove", "UnInit"})) << all;
}

}  // namespace
}  // namespace ZEMBRA
