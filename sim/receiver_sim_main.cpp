// zembra-receiver-sim: a simulated glove receiver on a pseudo-terminal, for
// trying the host software without hardware. Prints "port: <path>" first,
// then one line per notable event.
#include <chrono>
#include <cstdlib>
#include <deque>
#include <exception>
#include <iostream>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/inherited_descriptors.h"
#include "sim/receiver_simulator.h"
#include "sim/sim_options.h"
#include "sim/sysfs_tree.h"
#include "sim/termination_signals.h"

namespace {

using ZEMBRA::sim::SimClock;

// Events arrive on the simulator's worker thread; only the main thread
// prints, so the port line is always first and lines never interleave.
class EventLines {
 public:
  void Push(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(line);
  }
  void PrintAll() {
    std::deque<std::string> lines;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      lines.swap(lines_);
    }
    for (const std::string& line : lines) std::cout << line << '\n';
    std::cout.flush();
  }

 private:
  std::mutex mutex_;
  std::deque<std::string> lines_;
};

// The simulator's entry in a stand-in device tree, removed again on exit.
class Registration {
 public:
  Registration(ZEMBRA::sim::SysfsTree tree, std::string name) : tree_(std::move(tree)), name_(std::move(name)) {}
  ~Registration() { tree_.Remove(name_); }

 private:
  ZEMBRA::sim::SysfsTree tree_;
  std::string name_;
};

std::unique_ptr<Registration> Register(const ZEMBRA::sim::SimOptions& options,
                                       const ZEMBRA::sim::ReceiverSimulator& simulator) {
  if (options.registerName.empty()) return nullptr;
  const char* sysfs = std::getenv("ZEMBRA_SYSFS_ROOT");
  const char* dev = std::getenv("ZEMBRA_DEV_ROOT");
  // Never the real /sys and /dev: only a tree named on purpose.
  if (!sysfs || !*sysfs || !dev || !*dev)
    throw std::runtime_error("--register needs ZEMBRA_SYSFS_ROOT and ZEMBRA_DEV_ROOT");
  ZEMBRA::sim::SysfsTree tree(sysfs, dev);
  ZEMBRA::sim::UsbSerialReceiver receiver;
  receiver.name = options.registerName;
  const bool left = simulator.hand() == ZEMBRA::protocol::kLeftHand;
  const std::string tag(left ? ZEMBRA::protocol::kLeftReceiverTag : ZEMBRA::protocol::kRightReceiverTag);
  receiver.serial = options.serial.empty() ? "ZEMBRA-" + tag + "-0001" : options.serial;
  receiver.product = "ZEMBRA glove receiver (simulated)";
  receiver.node_target = simulator.PortPath();
  if (!tree.AddUsbSerial(receiver)) throw std::runtime_error("cannot register " + receiver.name + ": " + tree.error());
  std::cout << "registered as " << tree.DeviceNode(receiver.name) << " (serial " << *receiver.serial << ")"
            << std::endl;
  return std::make_unique<Registration>(std::move(tree), receiver.name);
}

int Run(const ZEMBRA::sim::SimOptions& options) {
  ZEMBRA::sim::TerminationSignals signals;  // before the worker starts, so it inherits the mask
  EventLines events;
  ZEMBRA::sim::SimulatorConfig config = options.config;
  config.onEvent = [&events](const std::string& line) { events.Push(line); };
  ZEMBRA::sim::ReceiverSimulator simulator(config);
  std::cout << "port: " << simulator.PortPath() << std::endl;
  const std::unique_ptr<Registration> registration = Register(options, simulator);

  const SimClock::time_point start = SimClock::now();
  const auto after = [start](double seconds) {
    return start + std::chrono::duration_cast<SimClock::duration>(std::chrono::duration<double>(seconds));
  };
  bool unplugPending = options.unplugAfterSeconds.has_value();
  for (;;) {
    if (signals.Wait(std::chrono::milliseconds(50))) break;
    const SimClock::time_point now = SimClock::now();
    if (unplugPending && now >= after(*options.unplugAfterSeconds)) {
      unplugPending = false;
      simulator.Unplug();
    }
    events.PrintAll();
    if (options.durationSeconds > 0 && now >= after(options.durationSeconds)) break;
  }
  events.PrintAll();
  const ZEMBRA::sim::Statistics stats = simulator.stats();
  std::cout << "bursts sent: " << stats.burstsSent << ", reports sent: " << stats.reportsSent
            << ", dropped: " << stats.drops << ", keep-alives: " << stats.keepAlives << std::endl;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  ZEMBRA::sim::CloseInheritedDescriptors();
  const std::vector<std::string> args(argv + 1, argv + argc);
  const ZEMBRA::sim::ParsedOptions parsed = ZEMBRA::sim::ParseSimOptions(args);
  if (!parsed.options) {
    std::cerr << "zembra-receiver-sim: " << parsed.error << '\n' << ZEMBRA::sim::SimUsage();
    return 2;
  }
  if (parsed.options->help) {
    std::cout << ZEMBRA::sim::SimUsage();
    return 0;
  }
  try {
    return Run(*parsed.options);
  } catch (const std::exception& e) {
    std::cerr << "zembra-receiver-sim: " << e.what() << '\n';
    return 1;
  }
}
