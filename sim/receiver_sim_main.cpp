// zembra-receiver-sim: a simulated glove receiver on a pseudo-terminal, for
// trying the host software without hardware. Prints "port: <path>" first,
// then one line per notable event.
#include <chrono>
#include <deque>
#include <exception>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "sim/receiver_simulator.h"
#include "sim/sim_options.h"
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

int Run(const ZEMBRA::sim::SimOptions& options) {
  ZEMBRA::sim::TerminationSignals signals;  // before the worker starts, so it inherits the mask
  EventLines events;
  ZEMBRA::sim::SimulatorConfig config = options.config;
  config.onEvent = [&events](const std::string& line) { events.Push(line); };
  ZEMBRA::sim::ReceiverSimulator simulator(config);
  std::cout << "port: " << simulator.PortPath() << std::endl;

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
