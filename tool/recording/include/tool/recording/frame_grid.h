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
//
// The grid also remembers where the glove delivered nothing for a while
// (its silences), so that the user can be told which frames repeat a pose
// instead of showing the hand.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>

#include "zembra/Pose.h"

namespace ZEMBRA {
namespace recording {

constexpr int64_t kFramesPerSecond = 30;
// The clock a recording's times come from, in nanoseconds.
inline int64_t SteadyNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// A pause between two poses at least this long is a silence worth telling:
// a glove delivers about every 5 ms.
constexpr int64_t kSilenceNanoseconds = 250000000;

// A stretch of the take in which no pose arrived, in nanoseconds from the
// start. atEnd: it lasted to the end of the take.
struct Silence {
  int64_t from = 0;
  int64_t length = 0;
  bool atEnd = false;
};

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
  // The user pressed Stop at stop but may still go back to the recording:
  // until ClearStop or TakeUntil, a pose after stop does not stand in for
  // the grid points up to stop (the latest pose before it does, as in
  // Finish). ClearStop gives them the pose after stop after all, so that a
  // recording that goes on has no gap.
  void MarkStop(int64_t stop);
  void ClearStop();
  // The take as it stood at stop, which may lie before the last pose added
  // (when MarkStop(stop) came first): Finish(stop), the grid points after
  // stop dropped, the frames moved out.
  std::vector<Pose> TakeUntil(int64_t stop);
  // The silences of the take up to stop, in time order (before the frames
  // are taken).
  std::vector<Silence> SilencesUntil(int64_t stop) const;

  size_t size() const { return frames_.size(); }
  // The time of grid point k, rounded to the nearest nanosecond; computed
  // from k each time, so no error adds up over an hour.
  int64_t PointTime(int64_t k) const { return start_ + (k * 1000000000 + kFramesPerSecond / 2) / kFramesPerSecond; }

 private:
  int64_t start_ = 0;
  std::deque<Pose> frames_;
  Pose last_{};
  bool havePose_ = false;
  int64_t lastTime_ = 0;
  std::vector<Silence> silences_;  // between poses, as they arrived
  // MarkStop: the mark, and once a pose came after it, the grid points up
  // to it that the latest pose before it filled, and that later pose.
  bool marked_ = false;
  int64_t mark_ = 0;
  bool markPassed_ = false;
  size_t markFrom_ = 0;
  size_t markTo_ = 0;
  Pose afterMark_{};
};

}  // namespace recording
}  // namespace ZEMBRA
