#include "tool/recording/frame_grid.h"

namespace ZEMBRA {
namespace recording {

void FrameGrid::Reset(int64_t start) {
  start_ = start;
  havePose_ = false;
  std::deque<Pose>().swap(frames_);
}

void FrameGrid::Add(int64_t time, const Pose& pose) {
  // Every grid point from the next one up to this pose's time is this pose:
  // the first pose at or after it.
  while (PointTime(int64_t(frames_.size())) <= time) frames_.push_back(pose);
  last_ = pose;
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
  return taken;
}

}  // namespace recording
}  // namespace ZEMBRA
