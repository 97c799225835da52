#include "stream/pose_board.h"

#include <algorithm>

namespace ZEMBRA {
namespace stream {

void PoseBoard::Put(int performer, HandType hand, const Pose& pose) {
  if ((hand != Hand_Left && hand != Hand_Right) || performer < 0 || performer >= kMaxPerformers) return;
  Clock::time_point now;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // Taken under the lock: a reader that looks after this time finds the pose.
    now = Clock::now();
    HandSnapshot& slot = slots_[Index(performer, hand)];
    if (slot.count == 0) {
      slot.reference = pose;
      slot.first = now;
    }
    slot.pose = pose;
    slot.at = now;
    ++slot.count;
    version_.fetch_add(1);
  }
  {
    std::lock_guard<std::mutex> lock(listenersMutex_);
    for (PoseListener* l : listeners_) l->OnPose(performer, hand, now);
  }
  if (waiting_.load() > 0) changed_.notify_all();
}

void PoseBoard::Listen(PoseListener* listener) {
  std::lock_guard<std::mutex> lock(listenersMutex_);
  listeners_.push_back(listener);
}

void PoseBoard::Unlisten(PoseListener* listener) {
  std::lock_guard<std::mutex> lock(listenersMutex_);
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

bool PoseBoard::Read(int performer, HandType hand, HandSnapshot& out) const {
  if ((hand != Hand_Left && hand != Hand_Right) || performer < 0 || performer >= kMaxPerformers) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  const HandSnapshot& slot = slots_[Index(performer, hand)];
  if (slot.count == 0) return false;
  out = slot;
  return true;
}

void PoseBoard::TakeReference(int performer, HandType hand) {
  if ((hand != Hand_Left && hand != Hand_Right) || performer < 0 || performer >= kMaxPerformers) return;
  std::lock_guard<std::mutex> lock(mutex_);
  HandSnapshot& slot = slots_[Index(performer, hand)];
  slot.reference = slot.pose;
}

uint64_t PoseBoard::WaitForPose(uint64_t seen, Clock::time_point until) {
  std::unique_lock<std::mutex> lock(mutex_);
  // Counted under the lock: a Put after this sees it and wakes us.
  waiting_.fetch_add(1);
  changed_.wait_until(lock, until, [&] { return stopping_ || version_.load() > seen; });
  waiting_.fetch_sub(1);
  return version_.load();
}

bool PoseBoard::SleepUntil(Clock::time_point until) {
  std::unique_lock<std::mutex> lock(mutex_);
  stopped_.wait_until(lock, until, [&] { return stopping_; });
  return !stopping_;
}

void PoseBoard::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  stopped_.notify_all();
}

bool PoseBoard::stopping() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stopping_;
}

}  // namespace stream
}  // namespace ZEMBRA
