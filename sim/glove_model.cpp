#include "sim/glove_model.h"

#include <cmath>

namespace ZEMBRA {
namespace sim {

namespace {

// One slow oscillation: centre + amplitude * sin(2 pi t / period + phase).
struct Wave {
  double centre, amplitude, period, phase;
  double At(double t) const { return centre + amplitude * std::sin(2.0 * kPi * t / period + phase); }
};

// Periods are mutually prime-ish so the hand never repeats a short cycle
// and every finger is seen at many different bends against each other.
// The wrist turns about the engine's axes: Y (out of the back of the hand),
// X (along the fingers) and Z (across the hand, the fingers' curl axis).
// The hand at rest lies with its fingers along +X and its palm towards +Y,
// so a positive turn about X lifts a left hand's thumb side and a positive
// one about Z tips the fingers towards the palm.
constexpr Wave kWristYaw = {0.0, 50.0, 17.0, 0.0};
constexpr Wave kWristPitch = {-10.0, -25.0, 11.0, 1.0};
constexpr Wave kWristRoll = {0.0, -35.0, 13.0, 2.0};

constexpr Wave kBend[kFingerCount] = {
    {45.0, 40.0, 2.3, 0.0},  // pinky
    {45.0, 40.0, 2.9, 0.7},  // ring
    {45.0, 40.0, 3.1, 1.9},  // middle
    {45.0, 40.0, 3.7, 2.6},  // index
    {30.0, 25.0, 4.3, 0.4},  // thumb
};

// Spread seen on a left hand; the right hand mirrors it.
constexpr Wave kLeftSpread[kFingerCount] = {
    {-8.0, 4.0, 5.3, 0.0}, {-4.0, 3.0, 5.9, 1.0}, {2.0, 3.0, 6.1, 2.0},
    {7.0, 4.0, 6.7, 3.0},  {0.0, 8.0, 7.1, 4.0},  // thumb twist
};

}  // namespace

GloveModel::GloveModel(int32_t hand, HandMotion motion) : hand_(hand), motion_(motion) {}

HandFrame GloveModel::At(double seconds) const {
  HandFrame frame;
  if (motion_ != HandMotion::Moving) seconds = 0;
  frame.wrist = Mul(Mul(RotYD(kWristYaw.At(seconds)), RotXD(kWristPitch.At(seconds))), RotZD(kWristRoll.At(seconds)));
  const double mirror = hand_ == protocol::kRightHand ? -1.0 : 1.0;
  for (int i = 0; i < kFingerCount; ++i) {
    frame.bend[size_t(i)] = kBend[i].At(seconds);
    frame.spread[size_t(i)] = mirror * kLeftSpread[i].At(seconds);
    if (motion_ == HandMotion::Open) frame.bend[size_t(i)] = kBend[i].centre - kBend[i].amplitude;
    if (motion_ == HandMotion::Fist) frame.bend[size_t(i)] = kBend[i].centre + kBend[i].amplitude;
  }
  return frame;
}

}  // namespace sim
}  // namespace ZEMBRA
