// When one performer's next send goes out: at once for a new pose, but at
// most `rate` sends a second. Pure: times in, decisions out.
//
// A pose that arrives while the cap holds waits. Once the cap opens, the
// next new pose goes out the moment it arrives (it is the freshest there
// is); only if none comes within half a period is the waiting one sent
// after all. The cap keeps to whole periods on average (a late send does
// not push the next one back), and no two sends are closer than half a
// period.
#pragma once

#include <chrono>

namespace ZEMBRA {
namespace stream {

class SendPolicy {
 public:
  using Clock = std::chrono::steady_clock;

  explicit SendPolicy(double rate);

  struct Decision {
    bool send = false;
    Clock::time_point lookAgain;  // when not sending: the latest time to decide again
    bool wakeForPoses = false;    // whether a new pose should wake the sender before lookAgain
  };
  // pending: a pose not yet sent is waiting; newestPose: when the newest
  // of those arrived.
  Decision Decide(Clock::time_point now, bool pending, Clock::time_point newestPose) const;
  void Sent(Clock::time_point now);

 private:
  Clock::duration period_;
  Clock::time_point next_ = Clock::time_point::min();  // the cap opens
};

}  // namespace stream
}  // namespace ZEMBRA
