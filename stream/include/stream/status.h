// What zembra-stream tells its terminal: the status line once a second and
// the summary at the end. Pure: numbers in, text out.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "stream/stream_server.h"

namespace ZEMBRA {
namespace stream {

struct DestinationStatus {
  Destination destination;
  SendCounts counts;
};

struct StatusSample {
  std::chrono::steady_clock::time_point at;
  uint64_t poses = 0;  // every hand's poses so far
  uint64_t sends = 0;  // every destination's sends so far
};

// "performers 1 | gloves 2/2 streaming | 400 poses/s | 120 bundles/s |
// vmc 0=127.0.0.1:39539 | aligned L0 4 s ago, R0 never"
std::string StatusLine(const std::vector<GloveStatus>& gloves, const std::vector<DestinationStatus>& destinations,
                       const StatusSample& before, const StatusSample& now, bool bundle);

// One line for each glove and each destination.
std::string Summary(const std::vector<GloveStatus>& gloves, const std::vector<HandSnapshot>& hands,
                    const std::vector<DestinationStatus>& destinations);

}  // namespace stream
}  // namespace ZEMBRA
