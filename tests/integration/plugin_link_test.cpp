// The plug-in's serial link object over a real pseudo-terminal, with short
// time-outs, for the cases the C interface cannot time: the report that
// never comes, a restart waiting for a report while the port closes, a line
// that goes silent and comes back, the channel list and the random channel
// choice.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "plugin/serial_port.h"
#include "tests/support/glove_packets.h"
#include "tests/support/pty_pair.h"
#include "tests/support/stdout_capture.h"

namespace ZEMBRA_IMU {
namespace {

using namespace std::chrono_literals;
using ZEMBRA::testsupport::MakeReport;
using ZEMBRA::testsupport::PtyPair;
using ZEMBRA::testsupport::StdoutCapture;

std::vector<float> Noise(std::initializer_list<std::pair<int, float>> quiet) {
  std::vector<float> noise(100, 5.0f);
  for (const auto& [channel, level] : quiet) noise[size_t(channel - 1)] = level;
  return noise;
}

size_t MappingCount() {
  std::ifstream maps("/proc/self/maps");
  size_t lines = 0;
  for (std::string line; std::getline(maps, line);) ++lines;
  return lines;
}

LinkTimings Short() {
  LinkTimings timings;
  timings.reportTimeout = 400ms;
  timings.gracePeriod = 300ms;
  return timings;
}

TEST(PluginLink, AReportThatNeverComesFailsOpenAfterTheTimeOut) {
  PtyPair pty;
  SerialPort port(false, 0, Short());
  port.SetHand(kPluginHandLeft);
  StdoutCapture capture;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(port.Open(pty.path(), 1000000));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_FALSE(port.Open(pty.path(), 1000000));  // the port object stays
  EXPECT_TRUE(port.Close());
  const std::string out = capture.Stop();
  EXPECT_NE(out.find("Channel list update failed, exiting..."), std::string::npos);
  EXPECT_NE(out.find("error : port is already opened..."), std::string::npos);
}

TEST(PluginLink, RandomChoiceTakesOnlyQuietChannelsThatSuitTheHand) {
  for (int round = 0; round < 3; ++round) {
    PtyPair pty;
    ASSERT_TRUE(pty.Write(MakeReport(Noise({{7, 0.2f}, {11, 0.5f}, {12, 0.9f}, {3, 1.3f}}))));
    SerialPort port(false, 0, Short());
    port.SetHand(kPluginHandLeft);
    StdoutCapture capture;
    ASSERT_TRUE(port.Open(pty.path(), 1000000));
    EXPECT_TRUE(port.radioChannel() == 7 || port.radioChannel() == 11) << port.radioChannel();
    EXPECT_EQ(pty.Read(2, 500ms), std::string("j") + char(port.radioChannel()));
    port.Close();
  }
}

TEST(PluginLink, WithoutQuietChannelsTheQuietestSuitingOneIsUsed) {
  PtyPair pty;
  // Quiet channels exist, but none for the right hand; 81 is excluded.
  ASSERT_TRUE(pty.Write(MakeReport(Noise({{7, 0.2f}, {81, 1.5f}, {17, 2.0f}, {21, 3.0f}}))));
  SerialPort port(false, 0, Short());
  port.SetHand(kPluginHandRight);
  StdoutCapture capture;
  ASSERT_TRUE(port.Open(pty.path(), 1000000));
  EXPECT_EQ(port.radioChannel(), 17);
  port.Close();
}

TEST(PluginLink, EachReportReplacesTheChannelList) {
  PtyPair pty;
  ASSERT_TRUE(pty.Write(MakeReport(Noise({{7, 0.2f}}))));
  SerialPort port(false, 0, Short());
  port.SetHand(kPluginHandLeft);
  StdoutCapture capture;
  ASSERT_TRUE(port.Open(pty.path(), 1000000));
  EXPECT_EQ(port.radioChannel(), 7);
  ASSERT_EQ(port.channelList().size(), 100u);
  // The next report finds channel 7 loud and 19 quiet.
  ASSERT_TRUE(pty.Write(MakeReport(Noise({{7, 4.0f}, {19, 0.3f}}))));
  port.Restart();
  EXPECT_EQ(port.radioChannel(), 19);
  const auto list = port.channelList();
  ASSERT_EQ(list.size(), 100u);
  EXPECT_EQ(list.front().channel, 19);
  port.Close();
}

TEST(PluginLink, AReportThatDoesNotParseKeepsTheLastGoodList) {
  PtyPair pty;
  ASSERT_TRUE(pty.Write(MakeReport(Noise({{7, 0.2f}}))));
  SerialPort port(false, 0, Short());
  port.SetHand(kPluginHandLeft);
  StdoutCapture capture;
  ASSERT_TRUE(port.Open(pty.path(), 1000000));
  std::string broken = MakeReport(std::vector<float>(50, 0.1f));
  broken.insert(broken.size() - 4, "abc,");  // channel 51 is not a number
  ASSERT_TRUE(pty.Write(broken));
  port.Restart();
  const auto list = port.channelList();
  ASSERT_EQ(list.size(), 100u) << "the malformed report must not empty the list";
  EXPECT_EQ(list.front().channel, 7);
  port.Close();
  EXPECT_NE(capture.Stop().find("Channel list update failed, exiting..."), std::string::npos);
}

TEST(PluginLink, ShortBlocksEndingInTheDelimiterDoNotHoldOpenBeyondTheTimeOut) {
  PtyPair pty;
  SerialPort port(false, 0, Short());  // 400 ms for the whole wait
  port.SetHand(kPluginHandRight);
  std::atomic<bool> sending{true};
  std::thread receiver([&] {
    // Each block is too short to be a report; the stream never pauses long.
    for (int i = 0; i < 120 && sending; ++i) {
      pty.Write(std::string(100, 'x') + "TUPU");
      std::this_thread::sleep_for(25ms);
    }
  });
  StdoutCapture capture;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(port.Open(pty.path(), 1000000));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
  sending = false;
  receiver.join();
  port.Close();
}

TEST(PluginLink, FinishedVibrationWorkersAreJoinedAsNewOnesStart) {
  PtyPair pty;
  ASSERT_TRUE(pty.Write(MakeReport(Noise({{7, 0.2f}}))));
  SerialPort port(false, 0, Short());
  port.SetHand(kPluginHandLeft);
  StdoutCapture capture;
  ASSERT_TRUE(port.Open(pty.path(), 1000000));
  // An unjoined thread keeps its stack mapped after it ends.
  [[maybe_unused]] const size_t before = MappingCount();
  for (int i = 0; i < 500; ++i) {
    port.VibratePeriod(i % 2);             // 0 or 1 ms: each worker ends at once
    if (i % 50 == 0) pty.Read(4096, 1ms);  // keep the terminal from filling
  }
  // How many are still running depends on how fast threads get to run (a
  // 1 ms worker pauses 10 ms after its write), so wait for them to end:
  // each new request joins those that have, until it is left alone.
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (port.vibrationWorkerCount() > 1 && std::chrono::steady_clock::now() < deadline) {
    pty.Read(4096, 5ms);
    port.VibratePeriod(0);
  }
  EXPECT_LE(port.vibrationWorkerCount(), 1u) << "finished workers are not joined";
#if !defined(__SANITIZE_THREAD__)
  // ThreadSanitizer maps memory of its own for every thread it has seen, so
  // there only the count above tells.
  EXPECT_LT(MappingCount(), before + 200) << "finished workers pile up";
#endif
  // A long one is still running when the port closes; Close stops it.
  port.VibratePeriod(10000);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(port.Close());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_EQ(port.vibrationWorkerCount(), 0u);
}

TEST(PluginLink, CloseEndsARestartWaitingForAReport) {
  PtyPair pty;
  ASSERT_TRUE(pty.Write(MakeReport(Noise({{11, 0.2f}}))));
  LinkTimings timings = Short();
  timings.reportTimeout = 20s;  // the restart would wait this long
  SerialPort port(false, 0, timings);
  port.SetHand(kPluginHandLeft);
  StdoutCapture capture;
  static std::atomic<int> disconnects{0};
  port.RegisterDataCallback(nullptr, nullptr);
  port.RegisterEventCallback([](void*, int code) {
    if (code == PluginEvent_Disconnected) ++disconnects;
  });
  ASSERT_TRUE(port.Open(pty.path(), 1000000));
  port.StartStreaming();
  // Reads that are never packets: after the grace period a silent second
  // raises event 3 and sends the serial thread into a restart, waiting for
  // a report.
  const auto until = std::chrono::steady_clock::now() + 2600ms;
  while (std::chrono::steady_clock::now() < until) {
    pty.Write("noise");
    std::this_thread::sleep_for(20ms);
  }
  ASSERT_EQ(disconnects.load(), 1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(port.Close());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  const std::string out = capture.Stop();
  EXPECT_NE(out.find("exiting thread"), std::string::npos);
}

// The link events as they arrive, for waiting on.
struct EventLog {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<int> codes;

  static void OnEvent(void* context, int code) {
    auto* log = static_cast<EventLog*>(context);
    std::lock_guard<std::mutex> lock(log->mutex);
    log->codes.push_back(code);
    log->changed.notify_all();
  }
  // Waits until code has arrived `count` times; the codes so far.
  std::vector<int> WaitFor(int code, long count, std::chrono::milliseconds within) {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, within, [&] { return std::count(codes.begin(), codes.end(), code) >= count; });
    return codes;
  }
};

std::string Packets(int count) {
  ZEMBRA::testsupport::Sensors identity;
  identity.fill({0.0f, 0.0f, 0.0f, 1.0f});
  const std::vector<uint8_t> burst = BuildBurst(ZEMBRA::testsupport::Burst::UUPU, identity);
  std::string bytes;
  for (int i = 0; i < count; ++i) bytes.append(burst.begin(), burst.end());
  return bytes;
}

// A left-hand link on a pseudo-terminal whose receiver reports one quiet
// channel (11), its events logged and its messages captured.
struct LoggedLink {
  explicit LoggedLink(LinkTimings timings) : port(false, 0, timings) {
    pty.Write(MakeReport(Noise({{11, 0.2f}})));
    port.SetHand(kPluginHandLeft);
    port.RegisterDataCallback(&events, nullptr);
    port.RegisterEventCallback(&EventLog::OnEvent);
  }
  PtyPair pty;
  StdoutCapture capture;
  EventLog events;
  SerialPort port;
};

// No read completes on a silent line, and the supervision still counts its
// seconds: a weak second hops, a silent one raises event 3 and restarts the
// link, which waits for the receiver's next report; after it the glove's
// packets connect the link again.
TEST(PluginLink, ASilentLineIsLostAndComesBack) {
  LinkTimings timings = Short();
  timings.reportTimeout = 20s;
  LoggedLink link(timings);
  ASSERT_TRUE(link.port.Open(link.pty.path(), 1000000));
  EXPECT_EQ(link.pty.Read(2, 1000ms), "j\x0b");
  link.port.StartStreaming();
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(link.pty.Write(Packets(1)));
    std::this_thread::sleep_for(10ms);
  }
  // Then nothing at all.
  std::vector<int> codes = link.events.WaitFor(PluginEvent_Disconnected, 1, 10s);
  ASSERT_EQ(std::count(codes.begin(), codes.end(), PluginEvent_Disconnected), 1);
  EXPECT_EQ(codes.front(), PluginEvent_Connected);
  // Four packets (three and the one StartStreaming counts) in the first
  // second after the grace period: a hop before the loss.
  EXPECT_EQ(std::count(codes.begin(), codes.end(), PluginEvent_ChannelHopped), 1);

  // The restart reads the next report and sets the channel up again.
  link.pty.Read(64, 100ms);
  ASSERT_TRUE(link.pty.Write(MakeReport(Noise({{11, 0.2f}}))));
  EXPECT_EQ(link.pty.Read(2, 5000ms), "j\x0b");
  const auto until = std::chrono::steady_clock::now() + 10s;
  while (std::chrono::steady_clock::now() < until) {
    ASSERT_TRUE(link.pty.Write(Packets(1)));
    std::this_thread::sleep_for(10ms);
    codes = link.events.WaitFor(PluginEvent_Connected, 2, 0ms);
    if (std::count(codes.begin(), codes.end(), PluginEvent_Connected) == 2) break;
  }
  EXPECT_EQ(std::count(codes.begin(), codes.end(), PluginEvent_Connected), 2);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(link.port.Close());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

// After a read error the link stays down: no decision follows it.
TEST(PluginLink, NothingFollowsAReadError) {
  LoggedLink link(Short());
  ASSERT_TRUE(link.port.Open(link.pty.path(), 1000000));
  link.port.StartStreaming();
  ASSERT_TRUE(link.pty.Write(Packets(3)));
  std::this_thread::sleep_for(50ms);
  link.pty.CloseMaster();
  link.events.WaitFor(PluginEvent_Disconnected, 1, 5s);
  // Long enough for the grace period and two seconds' decisions.
  std::this_thread::sleep_for(2500ms);
  EXPECT_EQ(link.events.WaitFor(PluginEvent_Disconnected, 1, 0ms), std::vector<int>{PluginEvent_Disconnected});
  EXPECT_TRUE(link.port.Close());
}

TEST(PluginLink, ReceiverTags) {
  EXPECT_EQ(ReceiverTag(kPluginHandLeft, 0), "LH0");
  EXPECT_EQ(ReceiverTag(kPluginHandRight, 15), "RH15");
  EXPECT_EQ(ReceiverTag(kPluginHandLeft, 16), "LH");
  EXPECT_EQ(ReceiverTag(ZEMBRA::protocol::PluginHand{2}, 0), "");
}

}  // namespace
}  // namespace ZEMBRA_IMU
