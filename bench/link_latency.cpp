// End-to-end figures of the glove link against the receiver simulator:
//   - latency from a burst's write returning in the simulator to the
//     driver's OnReceivedIMUData for that burst (median, 99th percentile);
//   - CPU time of the driver's reader thread while streaming;
//   - channel set-up time from OpenPort to the channel byte, with a report
//     already waiting.
//
//   bench_link_latency [--seconds N] [--rate N]
#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "driver/ZEMBRAIMUImpl.h"
#include "sim/receiver_simulator.h"

namespace {

using Clock = std::chrono::steady_clock;

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

struct Samples {
  std::mutex mutex;
  std::vector<std::pair<uint64_t, Clock::time_point>> arrivals;  // burst sequence, arrival time
  double readerCpuFirst = -1;
  double readerCpuLast = 0;
  Clock::time_point firstArrival, lastArrival;
};

class TimingHandler final : public ZEMBRA::IZEMBRAIMUEventHandler {
 public:
  explicit TimingHandler(Samples& samples) : samples_(samples) {}
  void OnReceivedIMUData(ZEMBRA::Pose pose, void*) override {
    const auto now = Clock::now();
    const double cpu = ThreadCpuSeconds();
    std::lock_guard<std::mutex> lock(samples_.mutex);
    samples_.arrivals.emplace_back(uint64_t(pose.statusValue), now);
    if (samples_.readerCpuFirst < 0) {
      samples_.readerCpuFirst = cpu;
      samples_.firstArrival = now;
    }
    samples_.readerCpuLast = cpu;
    samples_.lastArrival = now;
  }
  void OnReceivedIMUEvent(ZEMBRA::IMUEvent, void*) override {}

 private:
  Samples& samples_;
};

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t at = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
  return values[at];
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 10;
  int rate = 200;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--seconds")) seconds = std::atof(argv[i + 1]);
    if (!std::strcmp(argv[i], "--rate")) rate = std::atoi(argv[i + 1]);
  }

  ZEMBRA::sim::SimulatorConfig config;
  config.hand = ZEMBRA::Hand_Right;
  config.burstRate = rate;
  ZEMBRA::sim::ReceiverSimulator receiver(config);
  // A report is waiting in the port before the driver opens it.
  receiver.WaitFor([](const ZEMBRA::sim::Statistics& s, ZEMBRA::sim::ReceiverState) { return s.reportsSent > 0; },
                   std::chrono::seconds(5));

  Samples samples;
  ZEMBRA::EIMUError err = ZEMBRA::IMUError_None;
  ZEMBRA::ZEMBRAIMUImpl driver(err, 1, nullptr);
  ZEMBRA::IZEMBRAIMUEventHandler* handler = new TimingHandler(samples);
  driver.RegisterIMUDataCallback(handler, nullptr);
  driver.engine().SetHand(ZEMBRA::Hand_Right);
  ZEMBRA::PortInfo info;
  info.port_name = receiver.PortPath();
  info.baud_rate = 1000000;

  const auto openStart = Clock::now();
  driver.OpenPort(err, info);
  receiver.WaitFor(
      [](const ZEMBRA::sim::Statistics& s, ZEMBRA::sim::ReceiverState) { return !s.channelRequests.empty(); },
      std::chrono::seconds(5));
  const double setupMs = std::chrono::duration<double, std::milli>(Clock::now() - openStart).count();
  if (err != ZEMBRA::IMUError_None) {
    std::fprintf(stderr, "OpenPort failed: %d\n", int(err));
    return 1;
  }

  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  driver.ClosePort(err);

  std::vector<double> latencies;
  double cpuSeconds = 0, wallSeconds = 0;
  size_t poses = 0;
  {
    std::lock_guard<std::mutex> lock(samples.mutex);
    poses = samples.arrivals.size();
    // Skip the first half second: the stream settles after the set-up.
    for (const auto& [sequence, arrival] : samples.arrivals) {
      if (arrival - samples.firstArrival < std::chrono::milliseconds(500)) continue;
      const auto sent = receiver.BurstSendTime(sequence);
      if (sent) latencies.push_back(std::chrono::duration<double, std::milli>(arrival - *sent).count());
    }
    cpuSeconds = samples.readerCpuLast - samples.readerCpuFirst;
    wallSeconds = std::chrono::duration<double>(samples.lastArrival - samples.firstArrival).count();
  }
  const auto stats = receiver.stats();
  std::printf("bursts sent %llu, poses delivered %zu, over %.1f s at %d bursts/s\n",
              (unsigned long long)stats.burstsSent, poses, seconds, rate);
  std::printf("latency burst -> OnReceivedIMUData: median %.3f ms, p99 %.3f ms, max %.3f ms (%zu samples)\n",
              Percentile(latencies, 0.5), Percentile(latencies, 0.99), Percentile(latencies, 1.0), latencies.size());
  std::printf("reader thread CPU while streaming: %.2f%% of one core\n",
              wallSeconds > 0 ? 100.0 * cpuSeconds / wallSeconds : 0.0);
  std::printf("channel set-up time (OpenPort to channel byte): %.2f ms\n", setupMs);
  return latencies.empty() ? 1 : 0;
}
