// End-to-end figure of the plug-in's link against the receiver simulator:
// latency from a burst's write returning in the simulator to the plug-in's
// DataCallback for that burst (median, 99th percentile).
//
//   bench_plugin_latency [--seconds N] [--rate N]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "plugin/serial_port.h"
#include "sim/receiver_simulator.h"
#include "zembra/Pose.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Samples {
  std::mutex mutex;
  std::vector<std::pair<uint64_t, Clock::time_point>> arrivals;
};

void OnData(void* context, const float[16][4], int, int, const int*, float statusValue, int, int) {
  const auto now = Clock::now();
  auto* samples = static_cast<Samples*>(context);
  std::lock_guard<std::mutex> lock(samples->mutex);
  samples->arrivals.emplace_back(uint64_t(statusValue), now);
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5))];
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 8;
  int rate = 200;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--seconds")) seconds = std::atof(argv[i + 1]);
    if (!std::strcmp(argv[i], "--rate")) rate = std::atoi(argv[i + 1]);
  }
  ZEMBRA::sim::SimulatorConfig config;
  config.hand = ZEMBRA::Hand_Left;
  config.burstRate = rate;
  ZEMBRA::sim::ReceiverSimulator receiver(config);

  Samples samples;
  ZEMBRA_IMU::SerialPort port(false, 0);
  port.SetHand(ZEMBRA_IMU::kPluginHandLeft);
  port.RegisterDataCallback(&samples, &OnData);
  if (!port.Open(receiver.PortPath(), 1000000)) {
    std::fprintf(stderr, "Open failed\n");
    return 1;
  }
  port.StartStreaming();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  port.Close();

  std::vector<double> latencies;
  {
    std::lock_guard<std::mutex> lock(samples.mutex);
    const Clock::time_point first = samples.arrivals.empty() ? Clock::now() : samples.arrivals.front().second;
    for (const auto& [sequence, arrival] : samples.arrivals) {
      if (arrival - first < std::chrono::milliseconds(500)) continue;
      const auto sent = receiver.BurstSendTime(sequence);
      if (sent) latencies.push_back(std::chrono::duration<double, std::milli>(arrival - *sent).count());
    }
  }
  std::printf("plug-in latency burst -> DataCallback: median %.3f ms, p99 %.3f ms, max %.3f ms (%zu samples)\n",
              Percentile(latencies, 0.5), Percentile(latencies, 0.99), Percentile(latencies, 1.0), latencies.size());
  return latencies.empty() ? 1 : 0;
}
