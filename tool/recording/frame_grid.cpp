#include "tool/recording/frame_grid.h"

namespace ZEMBRA {
namespace recording {

void FrameGrid::Reset(int64_t start) {
  start_ = start;
  havePose_ = false;
  lastTime_ = start;
  silences_.clear();
  marked_ = markPassed_ = false;
  std::deque<Pose>().swap(frames_);
}

void FrameGrid::Add(int64_t time, const Pose& pose) {
  if (marked_ && !markPassed_ && time > mark_) {
    markPassed_ = true;
    markFrom_ = frames_.size();
    Finish(mark_);
    markTo_ = frames_.size();
    afterMark_ = pose;
  }
  // Every grid point from the next one up to this pose's time is this pose:
  // the first pose at or after it.
  while (PointTime(int64_t(frames_.size())) <= time) frames_.push_back(pose);
  // The time before the first pose counts too: the take started then.
  if (time - lastTime_ >= kSilenceNanoseconds) silences_.push_back({lastTime_ - start_, time - lastTime_, false});
  last_ = pose;
  lastTime_ = time;
  havePose_ = true;
}

void FrameGrid::Finish(int64_t stop) {
  if (!havePose_) return;
  while (PointTime(int64_t(frames_.size())) <= stop) frames_.push_back(last_);
}

std::vector<Pose> FrameGrid::Take() {
  std::vector<Pose> taken(frames_.begin(), frames_.end());
  std::deque<Pose>().swap(frames_);
  havePose_ = false;
  silences_.clear();
  return taken;
}

void FrameGrid::MarkStop(int64_t stop) {
  ClearStop();
  marked_ = true;
  mark_ = stop;
}

void FrameGrid::ClearStop() {
  if (markPassed_) {
    for (size_t k = markFrom_; k < markTo_ && k < frames_.size(); ++k) frames_[k] = afterMark_;
  }
  marked_ = markPassed_ = false;
}

std::vector<Pose> FrameGrid::TakeUntil(int64_t stop) {
  marked_ = markPassed_ = false;
  Finish(stop);
  while (!frames_.empty() && PointTime(int64_t(frames_.size()) - 1) > stop) frames_.pop_back();
  return Take();
}

std::vector<Silence> FrameGrid::SilencesUntil(int64_t stop) const {
  const int64_t end = stop - start_;
  std::vector<Silence> result;
  for (Silence silence : silences_) {
    if (silence.from >= end) break;
    if (silence.from + silence.length >= end) {
      // It ran past the stop: what the take holds of it lasts to its end.
      silence.length = end - silence.from;
      silence.atEnd = true;
    }
    if (silence.length >= kSilenceNanoseconds) result.push_back(silence);
  }
  // Nothing came after the last pose up to the stop.
  if (lastTime_ <= stop && stop - lastTime_ >= kSilenceNanoseconds)
    result.push_back({lastTime_ - start_, stop - lastTime_, true});
  return result;
}

}  // namespace recording
}  // namespace ZEMBRA
