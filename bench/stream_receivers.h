// What zembra-stream's in-process benchmarks share: pairs of simulated
// receivers (left, right, ...) registered in a device tree of the
// benchmark's own (bench/device_tree.h); each remembers when it wrote
// each burst, which the stream's outputs carry as the pose's status value.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "device_tree.h"
#include "sim/receiver_simulator.h"

namespace ZEMBRA {
namespace bench {

class StreamReceivers {
 public:
  explicit StreamReceivers(int pairs) {
    for (int i = 0; i < 2 * pairs; ++i) {
      sim::SimulatorConfig config;
      config.hand = i % 2 == 0 ? protocol::kLeftHand : protocol::kRightHand;
      config.sendLogCapacity = 1 << 16;
      receivers_.push_back(std::make_unique<sim::ReceiverSimulator>(config));
      const std::string serial =
          std::string("ZEMBRA-") + (i % 2 == 0 ? "LH" : "RH") + std::to_string(i / 2) + "-000" + std::to_string(i);
      if (!tree_.Plug("ttyUSB" + std::to_string(i), serial, receivers_.back()->PortPath())) return;
    }
    ok_ = true;
  }
  ~StreamReceivers() { receivers_.clear(); }
  StreamReceivers(const StreamReceivers&) = delete;
  StreamReceivers& operator=(const StreamReceivers&) = delete;

  bool ok() const { return ok_; }
  // Receiver 2p is performer p's left hand, 2p + 1 its right.
  sim::ReceiverSimulator& at(size_t i) { return *receivers_[i]; }

 private:
  DeviceTree tree_;
  std::vector<std::unique_ptr<sim::ReceiverSimulator>> receivers_;
  bool ok_ = false;
};

}  // namespace bench
}  // namespace ZEMBRA
