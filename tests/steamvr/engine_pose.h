// Poses as the driver computes them: a simulated glove's hand frame
// encoded into sensor readings, one burst, through the driver's own pose
// engine. Shared by the mapping's tests.
#pragma once

#include "driver/pose/pose_engine.h"
#include "sim/glove_model.h"
#include "sim/packet_builder.h"
#include "sim/sensor_encoding.h"
#include "steamvr/rigid/rigid.h"
#include "steamvr/skeleton/reference_hand.h"

namespace ZEMBRA {
namespace steamvrtest {

inline Pose EnginePose(HandType hand, const sim::HandFrame& frame, bool advanced = true) {
  pose::PoseEngine engine;
  engine.SetHand(hand);
  engine.SetAdvancedMode(advanced);
  const sim::Burst burst = sim::BuildBurst(sim::EncodeSensors(frame, hand), sim::StatusForBurst(0));
  Pose pose{};
  engine.ProcessPacket(burst.data(), burst.size(), pose);
  return pose;
}

// The simulated glove's open hand or fist.
inline Pose SimulatedHand(HandType hand, sim::HandMotion motion) {
  return EnginePose(hand, sim::GloveModel(hand, motion).At(0));
}

inline skeleton::Bones& RootFrame(const skeleton::Bones& local, skeleton::Bones& root) {
  skeleton::ToRootFrame(local, root);
  return root;
}

// Where a fingertip is in the root frame.
inline rigid::Vec3 Tip(const skeleton::Bones& local, int tip) {
  skeleton::Bones root;
  return RootFrame(local, root)[tip].position;
}

constexpr int kTips[5] = {skeleton::kThumb3, skeleton::kIndex4, skeleton::kMiddle4, skeleton::kRing4,
                          skeleton::kPinky4};

}  // namespace steamvrtest
}  // namespace ZEMBRA
