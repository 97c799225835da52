// The client module's feed against a simulated receiver at 200 bursts a
// second, with its default times (look again every 2 s, silent after 2 s):
// how long from a receiver's registration to its first pose, from its
// being pulled out to the feed's noticing (by the port list, and by silence
// for a port that lingers), and the latency from the simulator's write of
// a burst to the feed's per-pose callback.
//   bench_client_feed [rounds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device_tree.h"
#include "driver/client/receiver_feed.h"
#include "sim/packet_builder.h"
#include "sim/receiver_simulator.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using ZEMBRA::client::FeedState;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

template <typename Pred>
Clock::duration TimeUntil(Pred pred) {
  const auto start = Clock::now();
  while (!pred() && Clock::now() - start < 30s) std::this_thread::sleep_for(1ms);
  return Clock::now() - start;
}

void Print(const char* what, std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const auto at = [&](double p) { return values[std::min(values.size() - 1, size_t(p * double(values.size() - 1)))]; };
  std::printf("%-42s min %8.2f  median %8.2f  p99 %8.2f  max %8.2f ms  (n=%zu)\n", what, values.front(), at(0.5),
              at(0.99), values.back(), values.size());
}

}  // namespace

int main(int argc, char* argv[]) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  ZEMBRA::bench::DeviceTree tree;
  if (!tree.ok()) return 1;

  std::vector<std::unique_ptr<ZEMBRA::sim::ReceiverSimulator>> receivers;
  ZEMBRA::sim::ReceiverSimulator* current = nullptr;
  std::mutex mutex;
  std::vector<double> latency;
  ZEMBRA::client::FeedOptions options;
  options.onPose = [&](const ZEMBRA::Pose& pose) {
    const auto now = Clock::now();
    std::lock_guard<std::mutex> lock(mutex);
    if (!current) return;
    if (const auto sent = current->BurstSendTime(ZEMBRA::sim::SequenceFromStatusValue(pose.statusValue)))
      latency.push_back(Ms(now - *sent));
  };
  ZEMBRA::client::ReceiverFeed feed(ZEMBRA::client::FeedTarget::FirstOf(ZEMBRA::Hand_Left), options);

  std::vector<double> found, byList, bySilence;
  for (int round = 0; round < 2 * rounds; ++round) {
    ZEMBRA::sim::SimulatorConfig config;
    config.hand = ZEMBRA::protocol::kLeftHand;
    receivers.push_back(std::make_unique<ZEMBRA::sim::ReceiverSimulator>(config));
    const std::string name = "ttyUSB" + std::to_string(round);
    if (!tree.Plug(name, "ZEMBRA-LH0-0000", receivers.back()->PortPath())) return 1;
    {
      std::lock_guard<std::mutex> lock(mutex);
      current = receivers.back().get();
    }
    const uint64_t before = feed.poseCount();
    found.push_back(Ms(TimeUntil([&] { return feed.poseCount() > before; })));
    std::this_thread::sleep_for(1s);  // a second of poses for the latency
    {
      std::lock_guard<std::mutex> lock(mutex);
      current = nullptr;
    }
    // Odd rounds: the port lingers in the list, so only silence tells.
    const bool linger = round % 2 == 1;
    receivers.back()->Unplug();
    if (!linger) tree.Unplug(name);
    (linger ? bySilence : byList).push_back(Ms(TimeUntil([&] { return feed.state() == FeedState::NoReceiver; })));
    if (linger) tree.Unplug(name);
  }
  Print("registered to first pose", found);
  Print("pulled out to noticed (port list)", byList);
  Print("died in place to noticed (silence)", bySilence);
  Print("burst written to per-pose callback", latency);
  return 0;
}
