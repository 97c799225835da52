#include "stream/vmc_output.h"

#include <algorithm>

namespace ZEMBRA {
namespace stream {

namespace {

constexpr HandType kHands[2] = {Hand_Left, Hand_Right};

std::vector<std::unique_ptr<VmcSender>>& Sorted(std::vector<std::unique_ptr<VmcSender>>& senders) {
  std::stable_sort(senders.begin(), senders.end(), [](const auto& a, const auto& b) {
    return a->destination().performer < b->destination().performer;
  });
  return senders;
}

}  // namespace

VmcOutput::VmcOutput(PoseBoard& board, std::vector<std::unique_ptr<VmcSender>> senders, VmcOutputSettings settings,
                     Clock::time_point start)
    : board_(board), senders_(std::move(Sorted(senders))), settings_(settings), start_(start) {
  for (const auto& sender : senders_) {
    const int index = sender->destination().performer;
    if (performers_.empty() || performers_.back().index != index)
      performers_.push_back(Performer{index, {}, SendPolicy(settings_.rate), {0, 0}});
    performers_.back().senders.push_back(sender.get());
  }
  thread_ = std::thread([this] { Run(); });
}

VmcOutput::~VmcOutput() { Stop(); }

void VmcOutput::Stop() {
  board_.Stop();
  if (thread_.joinable()) thread_.join();
}

void VmcOutput::Run() {
  uint64_t seen = 0;
  while (!board_.stopping()) {
    seen = board_.version();
    const Clock::time_point now = Clock::now();
    Clock::time_point until = now + std::chrono::seconds(1);
    bool wake = performers_.empty();
    for (Performer& p : performers_) {
      HandSnapshot hands[2];
      bool have[2];
      bool pending = false;
      Clock::time_point newest = Clock::time_point::min();
      for (int h = 0; h < 2; ++h) {
        have[h] = board_.Read(p.index, kHands[h], hands[h]);
        if (have[h] && hands[h].count > p.sent[h]) {
          pending = true;
          newest = std::max(newest, hands[h].at);
        }
      }
      const SendPolicy::Decision d = p.policy.Decide(now, pending, newest);
      if (d.send) {
        SendNow(p, hands, have, now);
        // The cap closes: look again when it opens.
        until = now;
        continue;
      }
      // Capped: sleep until the cap opens; open: wait for a pose, or the grace.
      until = std::min(until, d.posesFrom > now ? d.posesFrom : d.lookAgain);
      wake = wake || d.posesFrom <= now;
    }
    if (until <= now) continue;
    if (wake) {
      board_.WaitForPose(seen, until);
    } else if (!board_.SleepUntil(until)) {
      break;
    }
  }
}

void VmcOutput::SendNow(Performer& p, const HandSnapshot (&hands)[2], const bool (&have)[2], Clock::time_point now) {
  const auto hold = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(settings_.hold));
  std::vector<Bone> bones;
  bones.reserve(2 * (kFingerBones + 1));
  for (int h = 0; h < 2; ++h) {
    if (!have[h]) continue;
    p.sent[h] = hands[h].count;
    // A hand that stopped delivering is left out rather than frozen.
    if (now - hands[h].at > hold) continue;
    if (settings_.wrist) bones.push_back(WristBone(hands[h].pose, hands[h].reference, kHands[h]));
    const HandBones fingers = FingerBones(hands[h].pose, kHands[h]);
    bones.insert(bones.end(), fingers.begin(), fingers.end());
  }
  if (bones.empty()) return;
  const float seconds = std::chrono::duration<float>(now - start_).count();
  const std::vector<OscMessage> messages = VmcMessages(seconds, bones);
  for (VmcSender* sender : p.senders) sender->Send(messages);
  p.policy.Sent(now);
}

}  // namespace stream
}  // namespace ZEMBRA
