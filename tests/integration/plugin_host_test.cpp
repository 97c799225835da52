// The plug-in as the game engine uses it: libZEMBRA_IMU.so loaded with
// dlopen, driven only through its C exports, against receivers found by
// discovery in a device tree of the test's own.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "plugin/pose_variant.h"
#include "sim/packet_builder.h"
#include "sim/receiver_simulator.h"
#include "sim/sysfs_tree.h"
#include "tests/support/pty_pair.h"
#include "tests/support/stdout_capture.h"
#include "zembra/Pose.h"

namespace {

using namespace std::chrono_literals;
using Handle = void;
using ZEMBRA::HandType;
using DataCallback = void (*)(void*, const float[16][4], int, int, const int*, float, int, int);
using EventCallback = void (*)(void*, int);

const char* const kExports[] = {"InitDataGlove",          "RegisterDataCallback",
                                "RegisterEventCallback",  "OpenPort",
                                "StartStreaming",         "ClosePort",
                                "OnSaveCalibration",      "OnOkPoseAlignment",
                                "OnCloseFingerAlignment", "VibratePeriod",
                                "ChannelHopping",         "ChannelHoppingSpecific",
                                "SetAdvancedMode",        "SetHardwareVersion",
                                "SetProximalThumbOffset", "SetIntermediateThumbOffset",
                                "SetDistalThumbOffset",   "SetThumbSlerpRate"};

// The exports, looked up as the engine would.
struct Plugin {
  void* library = nullptr;
  Handle* (*InitDataGlove)(bool, int) = nullptr;
  void (*RegisterDataCallback)(void*, Handle*, DataCallback) = nullptr;
  void (*RegisterEventCallback)(Handle*, EventCallback) = nullptr;
  bool (*OpenPort)(Handle*, int, int) = nullptr;
  void (*StartStreaming)(Handle*) = nullptr;
  bool (*ClosePort)(Handle*) = nullptr;
  void (*OnSaveCalibration)(Handle*) = nullptr;
  void (*OnOkPoseAlignment)(Handle*) = nullptr;
  void (*OnCloseFingerAlignment)(Handle*) = nullptr;
  void (*VibratePeriod)(Handle*, int) = nullptr;
  int (*ChannelHopping)(Handle*) = nullptr;
  int (*ChannelHoppingSpecific)(Handle*, int) = nullptr;
  void (*SetAdvancedMode)(Handle*, bool) = nullptr;

  template <typename F>
  void Bind(F& f, const char* name) {
    f = reinterpret_cast<F>(dlsym(library, name));
  }
  bool Load() {
    library = dlopen(ZEMBRA_IMU_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!library) return false;
    Bind(InitDataGlove, "InitDataGlove");
    Bind(RegisterDataCallback, "RegisterDataCallback");
    Bind(RegisterEventCallback, "RegisterEventCallback");
    Bind(OpenPort, "OpenPort");
    Bind(StartStreaming, "StartStreaming");
    Bind(ClosePort, "ClosePort");
    Bind(OnSaveCalibration, "OnSaveCalibration");
    Bind(OnOkPoseAlignment, "OnOkPoseAlignment");
    Bind(OnCloseFingerAlignment, "OnCloseFingerAlignment");
    Bind(VibratePeriod, "VibratePeriod");
    Bind(ChannelHopping, "ChannelHopping");
    Bind(ChannelHoppingSpecific, "ChannelHoppingSpecific");
    Bind(SetAdvancedMode, "SetAdvancedMode");
    return InitDataGlove && RegisterDataCallback && RegisterEventCallback && OpenPort && StartStreaming && ClosePort &&
           OnSaveCalibration && OnOkPoseAlignment && OnCloseFingerAlignment && VibratePeriod && ChannelHopping &&
           ChannelHoppingSpecific && SetAdvancedMode;
  }
  ~Plugin() {
    if (library) dlclose(library);
  }
};

// What the callbacks saw; written on the plug-in's serial thread.
struct Sink {
  std::mutex mutex;
  std::vector<std::array<std::array<float, 4>, 16>> poses;
  std::vector<int> hands, channels, perSecond;
  std::vector<float> statusValues;
  std::vector<std::pair<int, std::chrono::steady_clock::time_point>> events;

  static void OnData(void* context, const float joints[16][4], int packetsPerSecond, int, const int* statusTable,
                     float statusValue, int hand, int channel) {
    auto* sink = static_cast<Sink*>(context);
    std::lock_guard<std::mutex> lock(sink->mutex);
    std::array<std::array<float, 4>, 16> copy;
    for (int j = 0; j < 16; ++j)
      for (int c = 0; c < 4; ++c) copy[size_t(j)][size_t(c)] = joints[j][c];
    if (sink->poses.size() < 20000) sink->poses.push_back(copy);
    sink->hands.push_back(hand);
    sink->channels.push_back(channel);
    sink->perSecond.push_back(packetsPerSecond);
    sink->statusValues.push_back(statusValue);
    (void)statusTable[5];  // the table must be readable during the call
  }
  static void OnEvent(void* context, int code) {
    auto* sink = static_cast<Sink*>(context);
    std::lock_guard<std::mutex> lock(sink->mutex);
    sink->events.emplace_back(code, std::chrono::steady_clock::now());
  }
  size_t poseCount() {
    std::lock_guard<std::mutex> lock(mutex);
    return hands.size();
  }
  std::vector<int> eventCodes() {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<int> codes;
    for (const auto& e : events) codes.push_back(e.first);
    return codes;
  }
};

class TempTree {
 public:
  TempTree() {
    char pattern[] = "/tmp/zembra-plugin-XXXXXX";
    root_ = ::mkdtemp(pattern);
    ::setenv("ZEMBRA_SYSFS_ROOT", sys().c_str(), 1);
    ::setenv("ZEMBRA_DEV_ROOT", dev().c_str(), 1);
  }
  ~TempTree() {
    ::unsetenv("ZEMBRA_SYSFS_ROOT");
    ::unsetenv("ZEMBRA_DEV_ROOT");
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  std::string sys() const { return root_ + "/sys"; }
  std::string dev() const { return root_ + "/dev"; }
  bool Register(const std::string& name, const std::string& serial, const std::string& target) {
    ZEMBRA::sim::SysfsTree tree(sys(), dev());
    ZEMBRA::sim::UsbSerialReceiver receiver;
    receiver.name = name;
    receiver.serial = serial;
    receiver.node_target = target;
    return tree.AddUsbSerial(receiver);
  }

 private:
  std::string root_;
};

class PluginHost : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(plugin_.Load()) << dlerror(); }
  Plugin plugin_;
  TempTree tree_;
};

TEST(PluginLibrary, DefinesExactlyTheEighteenExports) {
  const std::string command = std::string("nm -D --defined-only ") + ZEMBRA_IMU_LIBRARY;
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> defined;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    char type = 0;
    char name[400] = {};
    if (std::sscanf(line, "%*s %c %399s", &type, name) == 2) defined.insert(name);
  }
  ASSERT_EQ(::pclose(pipe), 0);
  const std::set<std::string> expected(std::begin(kExports), std::end(kExports));
  EXPECT_EQ(defined, expected);
}

TEST_F(PluginHost, BothHandsStreamThroughTheExports) {
  struct Glove {
    int hand;
    const char* serial;
    std::unique_ptr<ZEMBRA::sim::ReceiverSimulator> receiver;
    Sink sink;
    Handle* handle = nullptr;
  } gloves[2] = {{1, "ZEMBRA-LH0-0001", nullptr, {}, nullptr}, {0, "ZEMBRA-RH0-0001", nullptr, {}, nullptr}};
  int index = 0;
  for (Glove& glove : gloves) {
    ZEMBRA::sim::SimulatorConfig config;
    config.hand = glove.hand == 1 ? ZEMBRA::Hand_Left : ZEMBRA::Hand_Right;
    // In a loud room, quiet channels for both hands, one excluded for each.
    config.noise = ZEMBRA::sim::LoudNoise();
    for (int channel : {7, 11, 79, 9, 13, 81}) config.noise[size_t(channel - 1)] = 0.5f;
    glove.receiver = std::make_unique<ZEMBRA::sim::ReceiverSimulator>(config);
    ASSERT_TRUE(tree_.Register("ttyUSB" + std::to_string(index++), glove.serial, glove.receiver->PortPath()));
  }

  ZEMBRA::testsupport::StdoutCapture capture;
  for (Glove& glove : gloves) {
    glove.handle = plugin_.InitDataGlove(false, 0);
    ASSERT_NE(glove.handle, nullptr);
    plugin_.RegisterDataCallback(&glove.sink, glove.handle, &Sink::OnData);
    plugin_.RegisterEventCallback(glove.handle, &Sink::OnEvent);
    EXPECT_FALSE(plugin_.OpenPort(glove.handle, 0, 2));  // no such hand code
    ASSERT_TRUE(plugin_.OpenPort(glove.handle, 0, glove.hand));
    EXPECT_FALSE(plugin_.OpenPort(glove.handle, 0, glove.hand));  // one port per handle
    plugin_.StartStreaming(glove.handle);
    plugin_.StartStreaming(glove.handle);  // a second start is ignored
  }
  // Past the two-second grace period, so that a full second gets counted.
  std::this_thread::sleep_for(3200ms);
  for (Glove& glove : gloves) {
    plugin_.OnOkPoseAlignment(glove.handle);
    plugin_.OnCloseFingerAlignment(glove.handle);  // advanced mode off: no effect
    EXPECT_TRUE(plugin_.ClosePort(glove.handle));
  }
  const std::string out = capture.Stop();
  EXPECT_NE(out.find("error : port is already opened..."), std::string::npos);
  EXPECT_NE(out.find("LEFT Port successfully closed"), std::string::npos);
  EXPECT_NE(out.find("RIGHT Port successfully closed"), std::string::npos);
  EXPECT_NE(out.find("Time is up\n"), std::string::npos);

  for (Glove& glove : gloves) {
    std::lock_guard<std::mutex> lock(glove.sink.mutex);
    ASSERT_GT(glove.sink.poses.size(), 150u) << "hand " << glove.hand;
    const int channel = glove.sink.channels.back();
    if (glove.hand == 1) {
      EXPECT_TRUE(channel == 7 || channel == 11) << channel;
    } else {
      EXPECT_TRUE(channel == 9 || channel == 13) << channel;
    }
    for (int h : glove.sink.hands) EXPECT_EQ(h, glove.hand);
    for (const auto& pose : glove.sink.poses) {
      for (const auto& q : pose) {
        const float n = q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3];
        ASSERT_NEAR(n, 1.0f, 1e-4f);
      }
    }
    // The same bursts through a pose variant of the test's own give the
    // same joints, bit for bit, in the plug-in's order and precision.
    ZEMBRA::plugin_pose::PoseVariant reference(false, 0);
    reference.SetHand(ZEMBRA::protocol::PluginHand{glove.hand});
    const HandType type = glove.hand == 1 ? ZEMBRA::Hand_Left : ZEMBRA::Hand_Right;
    uint64_t next = 0;
    float expected[16][4];
    size_t compared = 0;
    for (size_t i = 0; i < glove.sink.poses.size(); ++i) {
      const uint64_t sequence = uint64_t(glove.sink.statusValues[i]);
      ASSERT_GE(sequence, next) << "poses arrive in burst order";
      for (; next <= sequence; ++next) {
        const ZEMBRA::sim::Burst burst = ZEMBRA::sim::BuildBurst(
            ZEMBRA::sim::EncodeSensors(glove.receiver->BurstFrame(next), type), ZEMBRA::sim::StatusForBurst(next));
        reference.ProcessPacket(burst.data(), burst.size(), expected);
      }
      for (int j = 0; j < 16; ++j)
        for (int c = 0; c < 4; ++c) ASSERT_EQ(glove.sink.poses[i][size_t(j)][size_t(c)], expected[j][c]) << j;
      ++compared;
    }
    EXPECT_EQ(compared, glove.sink.poses.size());
    // The first half-second check marks the link connected.
    ASSERT_FALSE(glove.sink.events.empty());
    EXPECT_EQ(glove.sink.events.front().first, 2);
    // A full second at 200 packets per second was reported, and no hop.
    EXPECT_EQ(
        std::count_if(glove.sink.events.begin(), glove.sink.events.end(), [](const auto& e) { return e.first == 11; }),
        0);
    EXPECT_GE(*std::max_element(glove.sink.perSecond.begin(), glove.sink.perSecond.end()), 150);
  }
}

// The test plays the receiver by hand: a report, then valid packets at a
// chosen pace.
class HandPlayedReceiver : public PluginHost {
 protected:
  void SetUp() override {
    PluginHost::SetUp();
    ASSERT_TRUE(pty_.ok());
    ASSERT_TRUE(tree_.Register("ttyUSB3", "ZEMBRA-LH-77", pty_.path()));
    std::vector<float> noise(100, 5.0f);
    for (int channel : {3, 7, 11, 15, 19}) noise[size_t(channel - 1)] = 0.25f;
    ASSERT_TRUE(pty_.Write(ZEMBRA::testsupport::MakeReport(noise)));
    handle_ = plugin_.InitDataGlove(false, 0);
    plugin_.RegisterDataCallback(&sink_, handle_, &Sink::OnData);
    plugin_.RegisterEventCallback(handle_, &Sink::OnEvent);
  }
  std::string Packet(uint64_t sequence) {
    ZEMBRA::sim::SensorQuats identity;
    identity.fill({0.0f, 0.0f, 0.0f, 1.0f});
    const ZEMBRA::sim::Burst burst = ZEMBRA::sim::BuildBurst(identity, ZEMBRA::sim::StatusForBurst(sequence));
    return std::string(burst.begin(), burst.end());
  }

  ZEMBRA::testsupport::PtyPair pty_;
  Sink sink_;
  Handle* handle_ = nullptr;
};

TEST_F(HandPlayedReceiver, FivePacketsASecondHopOncePerSecondAfterTheGracePeriod) {
  ZEMBRA::testsupport::StdoutCapture capture;
  // Receiver index 16: the bare tag "LH" is searched.
  ASSERT_TRUE(plugin_.OpenPort(handle_, 16, 1));
  std::string written = pty_.Read(2, 1000ms);
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(written[0], 'j');
  EXPECT_NE(std::string("\x03\x07\x0b\x0f\x13").find(written[1]), std::string::npos);
  plugin_.StartStreaming(handle_);
  const auto start = std::chrono::steady_clock::now();
  std::string hostBytes;
  for (uint64_t n = 0; std::chrono::steady_clock::now() - start < 5200ms; ++n) {
    pty_.Write(Packet(n));
    hostBytes += pty_.Read(64, 200ms);
  }
  EXPECT_TRUE(plugin_.ClosePort(handle_));
  capture.Stop();
  std::vector<std::pair<int, std::chrono::steady_clock::time_point>> events;
  {
    std::lock_guard<std::mutex> lock(sink_.mutex);
    events = sink_.events;
  }
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front().first, 2);
  int hops = 0;
  for (const auto& [code, when] : events) {
    if (code != 11) continue;
    ++hops;
    EXPECT_GT(when - start, 1900ms) << "no decision inside the grace period";
  }
  // Decisions at about 2, 3, 4 and 5 seconds.
  EXPECT_GE(hops, 2);
  EXPECT_LE(hops, 4);
  EXPECT_GE(std::count(hostBytes.begin(), hostBytes.end(), 'j'), hops);
  EXPECT_GT(std::count(hostBytes.begin(), hostBytes.end(), 'b'), 0);
}

TEST_F(HandPlayedReceiver, AReadErrorRaisesEventThreeOnceAndCloseStillEnds) {
  ZEMBRA::testsupport::StdoutCapture capture;
  ASSERT_TRUE(plugin_.OpenPort(handle_, 16, 1));
  plugin_.StartStreaming(handle_);
  pty_.Write(Packet(0));
  std::this_thread::sleep_for(100ms);
  pty_.CloseMaster();
  std::this_thread::sleep_for(300ms);
  const auto before = std::chrono::steady_clock::now();
  EXPECT_TRUE(plugin_.ClosePort(handle_));
  EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
  const std::string out = capture.Stop();
  const std::vector<int> codes = sink_.eventCodes();
  EXPECT_EQ(std::count(codes.begin(), codes.end(), 3), 1);
  EXPECT_NE(out.find("Buffer read failed!!!!!"), std::string::npos);
}

TEST_F(HandPlayedReceiver, CommandsWriteTheirBytes) {
  ZEMBRA::testsupport::StdoutCapture capture;
  ASSERT_TRUE(plugin_.OpenPort(handle_, 16, 1));
  pty_.Read(2, 1000ms);
  EXPECT_EQ(plugin_.ChannelHoppingSpecific(handle_, 100), 1);
  EXPECT_EQ(pty_.Read(2, 500ms), std::string("j") + char(100));
  EXPECT_EQ(plugin_.ChannelHopping(handle_), 1);
  const std::string hop = pty_.Read(2, 500ms);
  ASSERT_EQ(hop.size(), 2u);
  EXPECT_EQ(int(hop[1]) % 4, 3);
  plugin_.OnSaveCalibration(handle_);
  EXPECT_EQ(pty_.Read(1, 500ms), "c");
  plugin_.VibratePeriod(handle_, 0);
  EXPECT_EQ(pty_.Read(1, 100ms), "");
  const auto before = std::chrono::steady_clock::now();
  plugin_.VibratePeriod(handle_, 100);
  EXPECT_LT(std::chrono::steady_clock::now() - before, 50ms);  // returns at once
  const std::string vibrations = pty_.Read(100, 300ms);
  EXPECT_GE(vibrations.size(), 5u);
  EXPECT_EQ(vibrations.find_first_not_of('v'), std::string::npos);
  // A long vibration is stopped by ClosePort, which returns promptly.
  plugin_.VibratePeriod(handle_, 5000);
  const auto closing = std::chrono::steady_clock::now();
  EXPECT_TRUE(plugin_.ClosePort(handle_));
  EXPECT_LT(std::chrono::steady_clock::now() - closing, 1s);
  capture.Stop();
}

TEST_F(PluginHost, AHandleWithoutAPort) {
  Handle* handle = plugin_.InitDataGlove(true, 1);
  ZEMBRA::testsupport::StdoutCapture capture;
  EXPECT_FALSE(plugin_.OpenPort(handle, 0, 1));  // no receiver registered
  EXPECT_EQ(plugin_.ChannelHoppingSpecific(handle, 50), -1);
  plugin_.OnSaveCalibration(handle);
  plugin_.VibratePeriod(handle, 30);
  plugin_.StartStreaming(handle);  // threads without a port still end
  EXPECT_FALSE(plugin_.ClosePort(handle));
  capture.Stop();
}

}  // namespace
