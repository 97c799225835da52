// The Python module against two simulated receivers at 200 bursts a second
// each, in this process, with Python embedded:
//   1. the driver alone: both gloves through the client module's
//      GloveSession, each pose counted in C++;
//   2. a Python loop iterating both gloves (zembra.poses(left, right), as
//      examples/python/record.py does), each pose's burst number and the
//      time Python got it kept;
//   3. Ctrl+C: SIGINT raised while Python waits in poses() of a glove that
//      sends nothing, until Python has the KeyboardInterrupt.
// Printed: the share of the simulator's bursts Python received, the
// process's CPU in both runs (the simulators run in both; the difference is
// what Python and the module add), the latency from the simulator's write
// of a burst to the pose in Python's hands, and the Ctrl+C delay.
//
// Matching: the simulator writes each burst's number into the glove's
// status value and stamps its write on the monotonic clock; Python reads
// the number from pose.status.value and stamps with time.monotonic(), the
// same clock (CLOCK_MONOTONIC).
//   bench_python_bindings [seconds]      (default 60 per run)
#include <pybind11/embed.h>
#include <pybind11/stl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device_tree.h"
#include "driver/client/glove_session.h"
#include "sim/packet_builder.h"
#include "sim/receiver_simulator.h"

namespace py = pybind11;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double Seconds(Clock::time_point t) { return std::chrono::duration<double>(t.time_since_epoch()).count(); }

void PrintSpread(const char* what, std::vector<double> ms) {
  if (ms.empty()) {
    std::printf("%-44s no samples\n", what);
    return;
  }
  std::sort(ms.begin(), ms.end());
  const auto at = [&](double p) { return ms[std::min(ms.size() - 1, size_t(p * double(ms.size() - 1) + 0.5))]; };
  std::printf("%-44s median %7.3f  p99 %7.3f  max %7.3f ms  (n=%zu)\n", what, at(0.5), at(0.99), ms.back(), ms.size());
}

class CountingListener final : public ZEMBRA::client::SessionListener {
 public:
  void OnPose(const ZEMBRA::Pose&) override { poses.fetch_add(1, std::memory_order_relaxed); }
  std::atomic<uint64_t> poses{0};
};

// Run 1: the driver alone; the process's CPU over the window, in % of a core.
double DriverAlone(double seconds) {
  CountingListener listeners[2];
  std::vector<std::unique_ptr<ZEMBRA::client::GloveSession>> sessions;
  const ZEMBRA::HandType hands[2] = {ZEMBRA::Hand_Left, ZEMBRA::Hand_Right};
  for (int h = 0; h < 2; ++h) {
    sessions.push_back(std::make_unique<ZEMBRA::client::GloveSession>(listeners[h]));
    ZEMBRA::PortInfo info;
    if (sessions.back()->Detect(hands[h], info) != ZEMBRA::IMUError_None ||
        sessions.back()->Open(info) != ZEMBRA::IMUError_None) {
      std::fprintf(stderr, "the driver could not open a simulated receiver\n");
      std::exit(1);
    }
  }
  std::this_thread::sleep_for(1s);  // settled
  const uint64_t before = listeners[0].poses + listeners[1].poses;
  const double cpu = ProcessCpuSeconds();
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  const double used = ProcessCpuSeconds() - cpu;
  std::printf("driver alone: %llu poses in %.1f s\n",
              (unsigned long long)(listeners[0].poses + listeners[1].poses - before), wall);
  return 100 * used / wall;
}

constexpr const char* kPythonRun = R"(
import time, zembra

def iterate_both(seconds):
    gloves = [zembra.Glove("left"), zembra.Glove("right")]
    got = {glove.hand: [] for glove in gloves}
    time.sleep(1)  # settled, as the driver's run
    for glove in gloves:
        list(glove.poses(timeout=0))
    cpu, start = time.process_time(), time.monotonic()
    end = start + seconds

    for pose in zembra.poses(*gloves, timeout=1):
        now = time.monotonic()
        got[pose.hand].append((int(pose.status.value) % (1 << 24), now))
        if now > end:
            break
    used, wall = time.process_time() - cpu, time.monotonic() - start
    dropped = {glove.hand: glove.dropped for glove in gloves}
    for glove in gloves:
        glove.close()
    return got, dropped, 100 * used / wall

def interrupts(port, rounds, arm):
    stamps = []
    with zembra.Glove("left", port) as glove:
        for _ in range(rounds):
            arm()
            try:
                for pose in glove.poses():
                    pass
            except KeyboardInterrupt:
                stamps.append(time.monotonic())
    return stamps
)";

}  // namespace

int main(int argc, char* argv[]) {
  const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 60;
  ZEMBRA::bench::DeviceTree tree;
  if (!tree.ok()) return 1;

  std::map<std::string, std::unique_ptr<ZEMBRA::sim::ReceiverSimulator>> receivers;
  const auto plugIn = [&](const std::string& hand, const std::string& name, const std::string& serial, bool quiet) {
    ZEMBRA::sim::SimulatorConfig config;
    config.hand = hand == "left" ? ZEMBRA::protocol::kLeftHand : ZEMBRA::protocol::kRightHand;
    if (quiet) config.faults.silence = 3600s;
    auto& receiver = receivers[hand + (quiet ? "-quiet" : "")];
    receiver = std::make_unique<ZEMBRA::sim::ReceiverSimulator>(config);
    if (!tree.Plug(name, serial, receiver->PortPath())) std::exit(1);
    return tree.DeviceNode(name);
  };
  plugIn("left", "ttyUSB0", "ZEMBRA-LH0-0000", false);
  plugIn("right", "ttyUSB1", "ZEMBRA-RH0-0001", false);
  const std::string quietPort = plugIn("left", "ttyUSB2", "ZEMBRA-LH1-0002", true);

  std::printf("two gloves at 200 bursts/s, %.0f s a run\n", seconds);
  const double driverCpu = DriverAlone(seconds);

  // A program started in the background may inherit SIGINT ignored, which
  // the interpreter would then leave so: it is Ctrl+C that is measured.
  ::signal(SIGINT, SIG_DFL);
  py::scoped_interpreter python;
  py::module_::import("sys").attr("path").attr("insert")(0, ZEMBRA_PYTHON_MODULE_DIR);
  py::dict scope;
  py::exec(kPythonRun, scope);

  const py::tuple result = scope["iterate_both"](seconds);
  const auto got = result[0].cast<std::map<std::string, std::vector<std::pair<uint64_t, double>>>>();
  const auto dropped = result[1].cast<std::map<std::string, uint64_t>>();
  const double pythonCpu = result[2].cast<double>();
  std::vector<double> latency;
  for (const auto& [hand, poses] : got) {
    const auto& receiver = receivers.at(hand);
    std::vector<uint64_t> numbers;
    for (const auto& [sequence, time] : poses) {
      numbers.push_back(sequence);
      if (const auto sent = receiver->BurstSendTime(sequence)) latency.push_back(1000 * (time - Seconds(*sent)));
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    const uint64_t sent = numbers.empty() ? 0 : numbers.back() - numbers.front() + 1;
    std::printf("python, %-5s glove: %zu of the %llu bursts sent meanwhile (%.3f %%), %llu dropped from the queue\n",
                hand.c_str(), numbers.size(), (unsigned long long)sent,
                sent ? 100.0 * double(numbers.size()) / double(sent) : 0.0, (unsigned long long)dropped.at(hand));
  }
  std::printf("process CPU: driver alone %.2f %%, python iterating %.2f %%: python adds %.2f %% of a core\n", driverCpu,
              pythonCpu, pythonCpu - driverCpu);
  PrintSpread("burst written -> pose in Python's hands", latency);

  // Ctrl+C: the signal comes from another thread 100 ms after Python arms it.
  std::vector<double> raisedAt;
  std::vector<std::thread> raisers;
  const py::cpp_function arm([&] {
    raisers.emplace_back([&raisedAt] {
      std::this_thread::sleep_for(100ms);
      raisedAt.push_back(Seconds(Clock::now()));
      ::kill(::getpid(), SIGINT);
    });
  });
  const auto stamps = scope["interrupts"](quietPort, 20, arm).cast<std::vector<double>>();
  for (std::thread& raiser : raisers) raiser.join();
  std::vector<double> delays;
  for (size_t i = 0; i < stamps.size() && i < raisedAt.size(); ++i) delays.push_back(1000 * (stamps[i] - raisedAt[i]));
  PrintSpread("SIGINT -> KeyboardInterrupt in poses()", delays);

  receivers.clear();
  return 0;
}
