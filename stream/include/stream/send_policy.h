// When one performer's next send goes out: at once for a new pose, but at
// most `rate` sends a second. Pure: times in, decisions out.
//
// A pose that arrives while the cap holds waits. Once the cap opens, the
// next new pose goes out the moment it arrives (it is the freshest there
// is); only if none comes within half a period is the waiting one sent
// after all. The cap opens at the points of a grid of whole periods, and
// at most one send goes out between two points: a late send does not push
// the next one back, and a stalled sender does not catch up with a burst.
// Senders given the same grid and rate open together, so one new pose
// serves them all at one wake-up.
#pragma once

#include <chrono>

namespace ZEMBRA {
namespace stream {

class SendPolicy {
 public:
  using Clock = std::chrono::steady_clock;

  // grid: a time the cap opens at, whole periods from which it opens
  // again; min: the first send's time.
  explicit SendPolicy(double rate, Clock::time_point grid = Clock::time_point::min());

  struct Decision {
    bool send = false;
    // When not sending: a new pose that arrives at or after posesFrom is
    // worth deciding again for; without one, decide again at lookAgain.
    Clock::time_point posesFrom;
    Clock::time_point lookAgain;
  };
  // pending: a pose not yet sent is waiting; newestPose: when the newest
  // of those arrived.
  Decision Decide(Clock::time_point now, bool pending, Clock::time_point newestPose) const;
  void Sent(Clock::time_point now);

 private:
  Clock::duration period_;
  Clock::time_point grid_;
  Clock::time_point next_ = Clock::time_point::min();  // the cap opens
};

}  // namespace stream
}  // namespace ZEMBRA
