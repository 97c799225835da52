// The frames of one hand's recording on a fixed grid of 1/30 second from the
// start, so that a frame's index is its time and both hands' lists line up
// frame by frame, as the file's constant frame time says they do.
//
// Frame k is the first pose at or after start + k/30 s. A pose that arrives
// after several grid points have passed (the glove was silent) fills each
// of them. Finish runs the list to the stop time with the last pose that
// arrived (the glove's latest state) for the grid points after it. Frames
// are kept in a deque, never in one block that doubles as it grows: an
// hour of frames costs what it holds (about 312 bytes a frame).
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "zembra/Pose.h"

namespace ZEMBRA {
namespace recording {

constexpr int64_t kFramesPerSecond = 30;

class FrameGrid {
 public:
  // Empties the grid and starts it at start (steady-clock nanoseconds).
  void Reset(int64_t start);
  // A pose that arrived at time (nanoseconds of the same clock).
  void Add(int64_t time, const Pose& pose);
  // Fills the grid points up to and including stop with the last pose; with
  // no pose at all the list stays empty.
  void Finish(int64_t stop);
  // Moves the frames out and empties the grid.
  std::vector<Pose> Take();

  size_t size() const { return frames_.size(); }
  // The time of grid point k, rounded to the nearest nanosecond; computed
  // from k each time, so no error adds up over an hour.
  int64_t PointTime(int64_t k) const { return start_ + (k * 1000000000 + kFramesPerSecond / 2) / kFramesPerSecond; }

 private:
  int64_t start_ = 0;
  std::deque<Pose> frames_;
  Pose last_{};
  bool havePose_ = false;
};

}  // namespace recording
}  // namespace ZEMBRA
