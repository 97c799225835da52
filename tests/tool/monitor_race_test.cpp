// The glove monitor's serialisation under ThreadSanitizer: the window's
// direct calls (stop, latency reset, recording) from one thread while the
// monitor's own work (searches that close and reopen the port, poses)
// runs on others, against a simulated receiver. No event loop runs: Qt's
// queued delivery, which ThreadSanitizer cannot follow, stays out of it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <cstdlib>
#include <thread>

#include "sim/receiver_simulator.h"
#include "sim/sysfs_tree.h"
#include "tests/support/temp_dir.h"
#include "tool/glove_monitor.h"

namespace {

using ZEMBRA::Hand_Left;

TEST(GloveMonitor, TheWindowsCallsAndTheMonitorsWorkNeverOverlap) {
  ZEMBRA::testsupport::TempDir dir("zembra-monitor");
  ZEMBRA::sim::SysfsTree tree(dir.path() + "/sys", dir.path() + "/dev");
  ZEMBRA::sim::SimulatorConfig config;
  config.hand = Hand_Left;
  ZEMBRA::sim::ReceiverSimulator receiver(config);
  ZEMBRA::sim::UsbSerialReceiver entry;
  entry.name = "ttyUSB0";
  entry.serial = "ZEMBRA-LH-0000";
  entry.node_target = receiver.PortPath();
  ASSERT_TRUE(tree.AddUsbSerial(entry)) << tree.error();
  ::setenv("ZEMBRA_SYSFS_ROOT", tree.sysfsRoot().c_str(), 1);
  ::setenv("ZEMBRA_DEV_ROOT", tree.devRoot().c_str(), 1);

  CheckGloveStatus monitor;
  std::atomic<bool> done{false};
  std::thread searches([&] {
    for (int i = 0; i < 8; ++i) {
      monitor.Resume();
      monitor.OnCheckGloveStatusReceived(Hand_Left);
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
    done = true;
  });
  std::thread poses([&] {
    ZEMBRA::Pose pose{};
    pose.type = Hand_Left;
    while (!done) monitor.OnDataGloveConnected(pose);
  });
  int stops = 0;
  while (!done) {
    monitor.OnGloveDataRecordReceived(RecordingStatus_Prepare);
    monitor.OnGloveDataRecordReceived(RecordingStatus_Start);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(monitor.recording());
    monitor.OnGloveDataRecordStopReceived();
    ZEMBRA::EIMUError error = ZEMBRA::IMUError_None;
    EXPECT_TRUE(monitor.ResetLatencyTimer(Hand_Left, error));
    monitor.OnStopCheckStatusReceived(Hand_Left);
    ++stops;
  }
  searches.join();
  poses.join();
  monitor.Shutdown();
  EXPECT_GT(stops, 3);
  EXPECT_FALSE(monitor.portOpen());
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
