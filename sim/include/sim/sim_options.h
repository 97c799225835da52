// Command line of zembra-receiver-sim, parsed without side effects so that
// every option can be tested.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/receiver_simulator.h"

namespace ZEMBRA {
namespace sim {

struct SimOptions {
  SimulatorConfig config;
  double durationSeconds = 0;                // 0: until SIGINT or SIGTERM
  std::optional<double> unplugAfterSeconds;  // --fault unplug=S
  bool help = false;
  // --register NAME [--serial TEXT]: appear as a USB receiver NAME in the
  // device tree named by ZEMBRA_SYSFS_ROOT and ZEMBRA_DEV_ROOT while running.
  std::string registerName;
  std::string serial;
};

struct ParsedOptions {
  std::optional<SimOptions> options;  // set on success
  std::string error;                  // one line naming the bad option otherwise
};

// args excludes the program name.
ParsedOptions ParseSimOptions(const std::vector<std::string>& args);

std::string SimUsage();

}  // namespace sim
}  // namespace ZEMBRA
