// What zembra-stream's in-process benchmarks share: pairs of simulated
// receivers (left, right, ...) registered in a device tree of the
// benchmark's own under the system's temporary folder, which the driver's
// discovery reads through the environment; each remembers when it wrote
// each burst, which the stream's outputs carry as the pose's status value.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sim/receiver_simulator.h"
#include "sim/sysfs_tree.h"

namespace ZEMBRA {
namespace bench {

class StreamReceivers {
 public:
  explicit StreamReceivers(int pairs) {
    std::string folder = (std::filesystem::temp_directory_path() / "zembra-stream-bench-XXXXXX").string();
    if (!::mkdtemp(folder.data())) return;
    dir_ = folder;
    tree_ = std::make_unique<sim::SysfsTree>(dir_ + "/sys", dir_ + "/dev");
    ::setenv("ZEMBRA_SYSFS_ROOT", tree_->sysfsRoot().c_str(), 1);
    ::setenv("ZEMBRA_DEV_ROOT", (dir_ + "/dev").c_str(), 1);
    for (int i = 0; i < 2 * pairs; ++i) {
      sim::SimulatorConfig config;
      config.hand = i % 2 == 0 ? protocol::kLeftHand : protocol::kRightHand;
      config.sendLogCapacity = 1 << 16;
      receivers_.push_back(std::make_unique<sim::ReceiverSimulator>(config));
      sim::UsbSerialReceiver usb;
      usb.name = "ttyUSB" + std::to_string(i);
      usb.serial =
          std::string("ZEMBRA-") + (i % 2 == 0 ? "LH" : "RH") + std::to_string(i / 2) + "-000" + std::to_string(i);
      usb.node_target = receivers_.back()->PortPath();
      if (!tree_->AddUsbSerial(usb)) return;
    }
    ok_ = true;
  }
  ~StreamReceivers() {
    receivers_.clear();
    tree_.reset();
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
  }
  StreamReceivers(const StreamReceivers&) = delete;
  StreamReceivers& operator=(const StreamReceivers&) = delete;

  bool ok() const { return ok_; }
  // Receiver 2p is performer p's left hand, 2p + 1 its right.
  sim::ReceiverSimulator& at(size_t i) { return *receivers_[i]; }

 private:
  std::string dir_;
  std::unique_ptr<sim::SysfsTree> tree_;
  std::vector<std::unique_ptr<sim::ReceiverSimulator>> receivers_;
  bool ok_ = false;
};

}  // namespace bench
}  // namespace ZEMBRA
