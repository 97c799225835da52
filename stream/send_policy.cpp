#include "stream/send_policy.h"

#include <algorithm>

namespace ZEMBRA {
namespace stream {

SendPolicy::SendPolicy(double rate)
    : period_(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate))) {}

SendPolicy::Decision SendPolicy::Decide(Clock::time_point now, bool pending, Clock::time_point newestPose) const {
  Decision d;
  if (now < next_) {
    d.lookAgain = next_;  // capped: poses need not wake the sender
    return d;
  }
  if (!pending) {
    d.lookAgain = Clock::time_point::max();
    d.wakeForPoses = true;
    return d;
  }
  const Clock::time_point grace = next_ == Clock::time_point::min() ? now : next_ + period_ / 2;
  if (newestPose >= next_ || now >= grace) {
    d.send = true;
    return d;
  }
  d.lookAgain = grace;
  d.wakeForPoses = true;
  return d;
}

void SendPolicy::Sent(Clock::time_point now) {
  next_ = next_ == Clock::time_point::min() ? now + period_ : std::max(next_ + period_, now + period_ / 2);
}

}  // namespace stream
}  // namespace ZEMBRA
