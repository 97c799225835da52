// The VMC output: a thread of its own that sends each performer's hands to
// that performer's destinations, a send for every new pose as the send
// policy allows, each send carrying the newest pose of every hand of the
// performer that delivered within the hold time.
//
// Threads: its own sending thread, which waits on the board; senders()'
// counts from any thread. Stop (and the destructor) stops the board and
// joins the thread: no send is under way after it.
#pragma once

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "stream/pose_board.h"
#include "stream/send_policy.h"
#include "stream/vmc_sender.h"

namespace ZEMBRA {
namespace stream {

struct VmcOutputSettings {
  double rate = 120;
  double hold = 0.5;
  bool wrist = false;
};

class VmcOutput {
 public:
  using Clock = std::chrono::steady_clock;

  // start: the server's start, from which /VMC/Ext/T counts.
  VmcOutput(PoseBoard& board, std::vector<std::unique_ptr<VmcSender>> senders, VmcOutputSettings settings,
            Clock::time_point start);
  ~VmcOutput();
  VmcOutput(const VmcOutput&) = delete;
  VmcOutput& operator=(const VmcOutput&) = delete;

  // Once it returns the senders' counts are final.
  void Stop();

  const std::vector<std::unique_ptr<VmcSender>>& senders() const { return senders_; }

 private:
  struct Performer {
    int index = 0;
    std::vector<VmcSender*> senders;
    SendPolicy policy;
    uint64_t sent[2] = {0, 0};  // each hand's pose count at the last send
  };

  void Run();
  void SendNow(Performer& performer, const HandSnapshot (&hands)[2], const bool (&have)[2], Clock::time_point now);

  PoseBoard& board_;
  const std::vector<std::unique_ptr<VmcSender>> senders_;
  const VmcOutputSettings settings_;
  const Clock::time_point start_;
  std::vector<Performer> performers_;  // the sending thread's
  std::thread thread_;                 // last: starts once everything above exists
};

}  // namespace stream
}  // namespace ZEMBRA
