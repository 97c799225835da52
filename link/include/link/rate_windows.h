// The packet-rate windows of a link's supervision: good packets are counted
// per half second, and the half seconds summed per second. What to do at
// the end of each window (a keep-alive, a new channel) is the link's own.
// Times are 100-ns ticks of the monotonic clock.
#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace ZEMBRA {
namespace link {

class RateWindows {
 public:
  // Both windows start at now.
  void Start(int64_t now) { halfStart_ = secondStart_ = now; }
  void CountPacket() { ++half_; }

  // The windows at a completed read. Both elapsed times are taken before
  // either window moves on.
  struct Step {
    bool halfClosed = false;  // more than half a second since the half window began
    int32_t halfPackets = 0;  // the closed half window's packets
    bool secondClosed = false;
    int32_t secondPackets = 0;  // the closed second's packets
  };
  // The second closes only when secondAllowed (a link may hold its decision
  // back, for a grace period after a restart).
  Step Advance(int64_t now, bool secondAllowed = true) {
    Step step;
    const float half = platform::SecondsSince(halfStart_, now);
    const float second = platform::SecondsSince(secondStart_, now);
    if (half > 0.5f) {
      halfStart_ = now;
      step.halfClosed = true;
      step.halfPackets = half_;
      window_ += half_;
      half_ = 0;
    }
    if (second > 1.0f && secondAllowed) {
      secondStart_ = now;
      step.secondClosed = true;
      step.secondPackets = lastSecond_ = window_;
      window_ = 0;
    }
    return step;
  }

  // Packets of the last completed second.
  int32_t lastSecond() const { return lastSecond_; }

 private:
  int64_t halfStart_ = 0;
  int64_t secondStart_ = 0;
  int32_t half_ = 0;
  int32_t window_ = 0;
  int32_t lastSecond_ = 0;
};

}  // namespace link
}  // namespace ZEMBRA
