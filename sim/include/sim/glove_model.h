// A plausible hand moving over time: the wrist turns slowly while every
// finger curls and spreads on its own rhythm. The model is a pure function
// of time, so the frame carried by any burst can be recomputed later from
// the burst's sequence number alone.
#pragma once

#include <array>

#include "protocol/hand_model.h"
#include "sim/rotation.h"

namespace ZEMBRA {
namespace sim {

// Finger order of the hand model: 0 pinky, 1 ring, 2 middle, 3 index, 4 thumb.
constexpr int kFingerCount = 5;
constexpr int kThumb = 4;

struct HandFrame {
  // Back of the hand in the driver's hand-model frame.
  QuatD wrist = kIdentityD;
  // Bend of each finger in degrees: how far it curls towards the palm, 0
  // straight. The driver reports the negative of it as the finger value
  // once it has decoded the frame (its bend is negative for a curl).
  std::array<double, kFingerCount> bend = {};
  // Sideways angle of each finger in degrees. It changes the joint
  // rotations but never the reported bend.
  std::array<double, kFingerCount> spread = {};
};

// Moving: the hand described above. Open and Fist hold still: the wrist
// where the moving hand starts, every finger at the least or the most bend
// of its range.
enum class HandMotion { Moving, Open, Fist };

class GloveModel {
 public:
  // Long-finger bends stay within [5, 85] degrees and the thumb's within
  // [5, 55]: well inside the range in which the driver takes its finger
  // estimate as plausible. Spreads fan out to the little-finger side, which
  // mirrors between the hands.
  explicit GloveModel(int32_t hand, HandMotion motion = HandMotion::Moving);

  HandFrame At(double seconds) const;
  int32_t hand() const { return hand_; }

 private:
  int32_t hand_;
  HandMotion motion_;
};

}  // namespace sim
}  // namespace ZEMBRA
