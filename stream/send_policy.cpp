#include "stream/send_policy.h"

namespace ZEMBRA {
namespace stream {

SendPolicy::SendPolicy(double rate, Clock::time_point grid)
    : period_(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate))), grid_(grid) {}

SendPolicy::Decision SendPolicy::Decide(Clock::time_point now, bool pending, Clock::time_point newestPose) const {
  Decision d;
  const bool first = next_ == Clock::time_point::min();
  const Clock::time_point grace = first ? now : next_ + period_ / 2;
  if (now < next_) {
    // Capped: poses count from the opening; what waits then goes at the grace.
    d.posesFrom = next_;
    d.lookAgain = grace;
    return d;
  }
  d.posesFrom = now;
  if (!pending) {
    d.lookAgain = Clock::time_point::max();
    return d;
  }
  if (newestPose >= next_ || now >= grace) {
    d.send = true;
    return d;
  }
  d.lookAgain = grace;
  return d;
}

void SendPolicy::Sent(Clock::time_point now) {
  if (grid_ == Clock::time_point::min()) grid_ = now;
  // The grid point after this send's; a grid that starts later opens at its start.
  const Clock::duration since = now - grid_;
  next_ = since < Clock::duration::zero() ? grid_ : grid_ + (since / period_ + 1) * period_;
}

}  // namespace stream
}  // namespace ZEMBRA
