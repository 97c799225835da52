// How long the links wait, one set of times for the driver's link and the
// plug-in's (tests shorten them).
#pragma once

#include <chrono>

namespace ZEMBRA {
namespace link {

struct LinkTimings {
  // Longest wait for the receiver's channel report before opening gives up.
  std::chrono::milliseconds reportTimeout{10000};
  // The plug-in's: no rate decision this long after a restart.
  std::chrono::milliseconds gracePeriod{2000};
};

}  // namespace link
}  // namespace ZEMBRA
