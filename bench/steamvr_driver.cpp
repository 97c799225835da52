// The SteamVR driver in the stand-in server with both simulated gloves at
// 200 poses a second: the latency from a burst's write to the skeleton
// update it gives, the time of RunFrame, the rate of device poses, the
// mapping's cost per pose, and the processor time of the driver (with the
// stand-in server around it) while the gloves stream from simulator
// processes of their own.
//   bench_steamvr_driver [seconds]
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device_tree.h"
#include "sim/packet_builder.h"
#include "sim/receiver_simulator.h"
#include "sim/sensor_encoding.h"
#include "steamvr/skeleton/hand_mapping.h"
#include "tests/steamvr/engine_pose.h"
#include "tests/steamvr/standin/standin_host.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using ZEMBRA::standin::StandinHost;

void Print(const char* what, const char* unit, std::vector<double> values) {
  if (values.empty()) {
    std::printf("%-44s no values\n", what);
    return;
  }
  std::sort(values.begin(), values.end());
  const auto at = [&](double p) { return values[std::min(values.size() - 1, size_t(p * double(values.size() - 1)))]; };
  std::printf("%-44s median %8.3f  p99 %8.3f  max %8.3f %s  (n=%zu)\n", what, at(0.5), at(0.99), values.back(), unit,
              values.size());
}

double CpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool BothActive(const StandinHost& host) {
  const std::vector<uint32_t> devices = host.DriverDevices();
  return devices.size() == 2 && host.slot(devices[0]).activated && host.slot(devices[1]).activated;
}

uint64_t SkeletonUpdates(const StandinHost& host) {
  uint64_t total = 0;
  for (uint32_t device : host.DriverDevices())
    for (const auto& c : host.components(device))
      if (c.kind == "skeleton") total += host.skeleton(c.handle, vr::VRSkeletalMotionRange_WithController).updates;
  return total;
}

// A zembra-receiver-sim process registered in the tree; stopped with it.
struct SimProcess {
  pid_t pid = -1;
  SimProcess(const std::string& hand, const std::string& name, const std::string& serial) {
    std::vector<std::string> args = {
        ZEMBRA_RECEIVER_SIM_BIN, "--hand", hand, "--rate", "200", "--register", name, "--serial", serial};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~SimProcess() {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
  }
};

}  // namespace

int main(int argc, char* argv[]) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  ZEMBRA::bench::DeviceTree tree;
  if (!tree.ok()) return 1;

  // 1. Latency, RunFrame and the pose rate, with the gloves in process.
  {
    std::unique_ptr<ZEMBRA::sim::ReceiverSimulator> sims[2];
    const char* serials[2] = {"ZEMBRA-LH0-0000", "ZEMBRA-RH0-0001"};
    for (int h = 0; h < 2; ++h) {
      ZEMBRA::sim::SimulatorConfig config;
      config.hand = h == 0 ? ZEMBRA::protocol::kLeftHand : ZEMBRA::protocol::kRightHand;
      sims[h] = std::make_unique<ZEMBRA::sim::ReceiverSimulator>(config);
      if (!tree.Plug("ttyUSB" + std::to_string(h), serials[h], sims[h]->PortPath())) return 1;
    }
    StandinHost host(ZEMBRA_STEAMVR_FOLDER);
    std::mutex mutex;
    std::map<vr::VRInputComponentHandle_t, std::vector<Clock::time_point>> updates;
    bool recording = false;
    host.onSkeletonUpdate = [&](vr::VRInputComponentHandle_t handle, vr::EVRSkeletalMotionRange range) {
      const auto now = Clock::now();
      if (range != vr::VRSkeletalMotionRange_WithController) return;
      std::lock_guard<std::mutex> lock(mutex);
      if (recording) updates[handle].push_back(now);
    };
    if (!host.Load() || host.Init() != vr::VRInitError_None) {
      std::fprintf(stderr, "the driver did not start: %s\n", host.error().c_str());
      return 1;
    }
    host.Serve([&] { return BothActive(host) && SkeletonUpdates(host) > 200; }, 30s);
    const uint64_t sentBefore[2] = {sims[0]->stats().burstsSent, sims[1]->stats().burstsSent};
    {
      std::lock_guard<std::mutex> lock(mutex);
      recording = true;
    }
    const std::vector<double> runFramesBefore = host.runFrameMicroseconds();
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    host.Serve([&] { return Clock::now() >= end; }, std::chrono::seconds(seconds + 5));
    {
      std::lock_guard<std::mutex> lock(mutex);
      recording = false;
    }
    std::vector<double> latency;
    const std::vector<uint32_t> devices = host.DriverDevices();
    for (int h = 0; h < 2; ++h) {
      const auto skeleton =
          host.component(devices[size_t(h)], h == 0 ? "/input/skeleton/left" : "/input/skeleton/right");
      if (!skeleton) continue;
      // Each update against the newest burst written before it: bursts
      // are 5 ms apart, far more than the latency.
      std::vector<Clock::time_point> sent;
      const uint64_t last = sims[h]->stats().burstsSent;
      for (uint64_t n = sentBefore[h] > 10 ? sentBefore[h] - 10 : 0; n < last; ++n)
        if (const auto t = sims[h]->BurstSendTime(n)) sent.push_back(*t);
      std::sort(sent.begin(), sent.end());
      for (const Clock::time_point u : updates[skeleton->handle]) {
        const auto it = std::upper_bound(sent.begin(), sent.end(), u);
        if (it != sent.begin()) latency.push_back(std::chrono::duration<double, std::milli>(u - *(it - 1)).count());
      }
      const ZEMBRA::standin::PoseRecord poses = host.slot(devices[size_t(h)]).updates;
      std::printf("%-44s %.1f per second\n", h == 0 ? "left device poses" : "right device poses",
                  double(poses.updates - 1) / std::chrono::duration<double>(poses.last - poses.first).count());
    }
    const std::vector<double> all = host.runFrameMicroseconds();
    Print("burst written to UpdateSkeletonComponent", "ms", latency);
    Print("RunFrame", "us", std::vector<double>(all.begin() + long(runFramesBefore.size()), all.end()));
    host.Cleanup();
    for (int h = 0; h < 2; ++h) tree.Unplug("ttyUSB" + std::to_string(h));
  }

  // 2. The mapping alone: a pose of the moving glove to 31 bones and curls.
  {
    const ZEMBRA::skeleton::HandMapper mapper(ZEMBRA::Hand_Right);
    const ZEMBRA::sim::GloveModel model(ZEMBRA::Hand_Right);
    std::vector<ZEMBRA::Pose> poses;
    for (int i = 0; i < 200; ++i)
      poses.push_back(ZEMBRA::steamvrtest::EnginePose(ZEMBRA::Hand_Right, model.At(i * 0.005)));
    std::vector<double> perPose;
    double sink = 0;
    for (int round = 0; round < 50; ++round) {
      const auto start = Clock::now();
      for (const ZEMBRA::Pose& pose : poses) sink += mapper.Map(pose).grip;
      perPose.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count() / double(poses.size()));
    }
    Print("glove pose to 31 bones and curls (mapping)", "us", perPose);
    if (sink < 0) std::printf("%g\n", sink);
  }

  // 3. Processor time of this process (driver, glove driver, stand-in
  // server) with both gloves streaming from simulator processes.
  {
    SimProcess left("left", "ttyUSB2", "ZEMBRA-LH0-0002"), right("right", "ttyUSB3", "ZEMBRA-RH0-0003");
    StandinHost host(ZEMBRA_STEAMVR_FOLDER);
    if (!host.Load() || host.Init() != vr::VRInitError_None) {
      std::fprintf(stderr, "the driver did not start again: %s\n", host.error().c_str());
      return 1;
    }
    if (!host.Serve([&] { return BothActive(host) && SkeletonUpdates(host) > 400; }, 30s)) {
      std::fprintf(stderr, "the simulated gloves did not stream\n");
      return 1;
    }
    const uint64_t updatesBefore = SkeletonUpdates(host);
    const double cpuBefore = CpuSeconds();
    const auto start = Clock::now();
    host.Serve([&] { return Clock::now() >= start + std::chrono::seconds(seconds); },
               std::chrono::seconds(seconds + 5));
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = CpuSeconds() - cpuBefore;
    std::printf("%-44s %.1f per second\n", "skeleton updates, both hands",
                double(SkeletonUpdates(host) - updatesBefore) / wall);
    std::printf("%-44s %.2f %% of one core\n", "processor, both hands at 200 poses/s", 100.0 * cpu / wall);
    host.Cleanup();
  }
  return 0;
}
