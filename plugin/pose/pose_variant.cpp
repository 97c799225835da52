#include "plugin/pose_variant.h"

#include <cmath>

#include "protocol/hand_model.h"
#include "protocol/packet.h"

namespace ZEMBRA {
namespace plugin_pose {

namespace {

namespace protocol = ZEMBRA::protocol;

// Intermediate joint of each finger slot, in the order the fingers are
// computed and aligned: pinky, ring, middle, index. Sensor s feeds slot s.
constexpr int kFingerJoint[4] = {PluginJoint_PinkyIntermediate, PluginJoint_RingIntermediate,
                                 PluginJoint_MiddleIntermediate, PluginJoint_IndexIntermediate};
constexpr int kPinky = 0, kRing = 1, kMiddle = 2, kIndex = 3;
constexpr int kWristSensor = 5, kThumbSensor = 4;

// Frame change of hardware versions 0 and 1: m = s * (k, 0, k, 0), joint =
// (-m.x, m.z, m.y, m.w), the driver's mapping.
constexpr double kFrameK = double(protocol::kFrameChangeFactor);
constexpr Quatd kFrameRotation = {kFrameK, 0.0, kFrameK, 0.0};

// Basic mode: spread unit and each finger's multiple of it for the left hand
// (the right hand mirrors it).
constexpr double kSpreadBase = 5.0;
constexpr double kSpreadMultiple[4] = {-2.0, -1.0, 1.0, 2.0};
// Advanced mode: clamp unit of the measured spreads.
constexpr double kSpreadLimit = 20.0;
// A bend above 0 or below -100 degrees narrows the spread.
constexpr double kSpreadNarrowAbove = 0.0;
constexpr double kSpreadNarrowBelow = -100.0;
constexpr double kSpreadNarrowScale = 160.0;

// Finger state machine thresholds.
constexpr double kUpperBend = 100.0;
constexpr double kLowerBend = -160.0;

// Per finger: slerp factor in the open state, in the closed state; distal
// factor outside the closed states, in them. The first two are the
// single-precision values widened.
constexpr double kFingerSlerpOpen = double(0.9f);
constexpr double kFingerSlerpClosed = double(0.45f);
constexpr double kDistalOpen = 0.0;
constexpr double kDistalClosed = 0.5;

// Thumb reference (relative to the wrist) and thumb sensor correction, per
// hand: the driver's single-precision constants widened.
constexpr Quatd Widened(const protocol::QuatConstant& q) {
  return {double(q.x), double(q.y), double(q.z), double(q.w)};
}
constexpr Quatd kRightThumbReference = Widened(protocol::kRightThumbReference);
constexpr Quatd kRightThumbCorrection = Widened(protocol::kRightThumbCorrection);
constexpr Quatd kLeftThumbReference = Widened(protocol::kLeftThumbReference);
constexpr Quatd kLeftThumbCorrection = Widened(protocol::kLeftThumbCorrection);
constexpr double kThumbBendRate = double(0.0025f);

constexpr double kDefaultThumbOffset[3][3] = {{0.0, 0.0, -24.0}, {0.0, 0.0, -12.0}, {0.0, 8.0, -8.0}};
constexpr double kDefaultThumbRate[2] = {0.25, 0.75};

constexpr double kValidityTolerance = 1e-6;

int SlotOfJoint(int joint) {
  for (int f = 0; f < 4; ++f) {
    if (kFingerJoint[f] == joint) return f;
  }
  return -1;
}

double Clamp(double v, double lo, double hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Next finger state from the old one and the bend z of the estimate against
// the wrist.
int32_t NextFingerState(int32_t state, double z) {
  switch (state) {
    case PoseVariant::Finger_Start:
      return z < 0.0 ? PoseVariant::Finger_Closed : PoseVariant::Finger_Open;
    case PoseVariant::Finger_Open:
      if (z < 0.0) return PoseVariant::Finger_Closed;
      if (z < kUpperBend) return PoseVariant::Finger_Open;
      if (z >= kUpperBend) return PoseVariant::Finger_HoldOpen;
      return state;  // not a number: no row applies, keep the state
    case PoseVariant::Finger_Closed:
      if (z > 0.0) return PoseVariant::Finger_Open;
      if (z > kLowerBend && z <= 0.0) return PoseVariant::Finger_Closed;
      if (z <= kLowerBend) return PoseVariant::Finger_HoldClosed;
      return state;
    case PoseVariant::Finger_HoldOpen:
      return z > 0.0 && z < kUpperBend ? PoseVariant::Finger_Open : PoseVariant::Finger_HoldOpen;
    case PoseVariant::Finger_HoldClosed:
      return z > kLowerBend && z < 0.0 ? PoseVariant::Finger_Closed : PoseVariant::Finger_HoldClosed;
    default:
      return state;
  }
}

}  // namespace

PoseVariant::PoseVariant(bool advancedMode, int hardwareVersion) : advanced_(advancedMode), version_(hardwareVersion) {
  for (auto& q : raw_) q = kIdentityd;
  for (auto& q : sensorJoint_) q = kIdentityd;
  for (auto& q : out_) q = kIdentityd;
  for (auto& q : local_) q = kIdentityd;
  for (auto& q : alignment_) q = kIdentityd;
  for (auto& q : measuredFinger_) q = kIdentityd;
  measuredWrist_ = kIdentityd;
  for (int i = 0; i < 3; ++i) {
    thumb_.offset[i] = FromEuler(kDefaultThumbOffset[i][0], kDefaultThumbOffset[i][1], kDefaultThumbOffset[i][2]);
  }
  thumb_.rate[0] = kDefaultThumbRate[0];
  thumb_.rate[1] = kDefaultThumbRate[1];
}

void PoseVariant::SetThumbOffset(int which, double x, double y, double z) {
  if (which < 0 || which > 2) return;
  const Quatd offset = FromEuler(x, y, z);
  std::lock_guard<std::mutex> lock(mutex_);
  thumb_.offset[which] = offset;
}

void PoseVariant::SetThumbSlerpRate(double first, double second) {
  std::lock_guard<std::mutex> lock(mutex_);
  thumb_.rate[0] = first;
  thumb_.rate[1] = second;
}

Quatd PoseVariant::Alignment(int joint) const {
  const int slot = SlotOfJoint(joint);
  if (slot < 0) return kIdentityd;
  std::lock_guard<std::mutex> lock(mutex_);
  return alignment_[slot];
}

int32_t PoseVariant::FingerStateAt(int joint) const {
  const int slot = SlotOfJoint(joint);
  return slot < 0 ? Finger_Start : fingerState_[slot];
}

void PoseVariant::CloseFingerAlignment() {
  if (!advancedMode()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  const Quatd towardsWrist = Inverse(measuredWrist_);
  for (int f = 0; f < 4; ++f) {  // joints 14, 11, 8, 5
    const double a = EulerY(Mul(towardsWrist, measuredFinger_[f]));
    double s, c;
    SinCos(a * 0.5 * kDegToRadd, s, c);
    alignment_[f] = Mul(alignment_[f], Quatd{0.0, -s, 0.0, c});
  }
}

PoseVariant::Outcome PoseVariant::Process(const protocol::DecodedRead& read, float out[16][4]) {
  if (!read.accepted()) return Outcome::Rejected;

  // A record with a bad check byte is the zero quaternion before the
  // normalisation; the records are normalised four at a time (a packet
  // carries three or six), so their square roots and divisions overlap.
  Quatd decoded[8];
  for (int r = 0; r < read.recordCount; ++r) {
    const protocol::WireQuat& q = read.records[r].rotation;
    decoded[r] = read.records[r].checkOk ? Quatd{q.x, q.y, q.z, q.w} : Quatd{0.0, 0.0, 0.0, 0.0};
  }
  for (int r = read.recordCount; r < 8; ++r) decoded[r] = kIdentityd;
  wide::Store(wide::Normalise(wide::Load(&decoded[0])), &decoded[0]);
  if (read.recordCount > 4) wide::Store(wide::Normalise(wide::Load(&decoded[4])), &decoded[4]);
  for (int r = 0; r < read.recordCount; ++r) raw_[read.records[r].sensor] = decoded[r];

  if (read.hasStatus) {
    statusByte_ = read.status.statusByte;
    statusTable_[protocol::StatusSlotForSelector(read.status.selector)] = read.status.slotValue;
    statusValue_ = read.status.value;
  }

  if (!SensorsValid()) return Outcome::NoPose;

  // One consistent set of settings for the whole packet.
  const bool advanced = advancedMode();
  const PluginHand handCode = hand();
  Quatd alignment[4];
  ThumbSettings thumb;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int f = 0; f < 4; ++f) alignment[f] = alignment_[f];
    thumb = thumb_;
  }

  ChangeFrame(hardwareVersion());
  Compute(advanced, handCode, alignment, thumb);

  {
    std::lock_guard<std::mutex> lock(mutex_);
    measuredWrist_ = out_[PluginJoint_Wrist];
    for (int f = 0; f < 4; ++f) measuredFinger_[f] = out_[kFingerJoint[f]];
  }

  for (int j = 0; j < PluginJoint_Count; ++j) {
    out[j][0] = float(out_[j].x);
    out[j][1] = float(out_[j].y);
    out[j][2] = float(out_[j].z);
    out[j][3] = float(out_[j].w);
  }
  return Outcome::Pose;
}

bool PoseVariant::SensorsValid() const {
  for (const Quatd& s : raw_) {
    if (!(std::fabs(Dot(s, s) - 1.0) < kValidityTolerance)) return false;
  }
  return true;
}

void PoseVariant::ChangeFrame(int version) {
  if (uint32_t(version) < 2u) {
    for (int s = 0; s < 6; ++s) {
      const Quatd m = Mul(raw_[s], kFrameRotation);
      sensorJoint_[s] = {-m.x, m.z, m.y, m.w};
    }
  } else if (version == 2) {
    for (int s = 0; s < 6; ++s) {
      const Quatd& r = raw_[s];
      sensorJoint_[s] = {-r.x, -r.z, r.y, -r.w};
    }
  }
  // Any other version leaves the sensor joints as they are: the pose is
  // computed again from the last sensor joints, so it repeats the last pose
  // rather than feeding the working joints back into themselves.
}

// Rotations are named by the frames they map between: q_world_wrist takes
// the wrist's frame to the world's, q_wrist_world the world's to the
// wrist's. The long fingers' arithmetic runs in four lanes (slot order:
// pinky, ring, middle, index); what branches per finger runs finger by
// finger between the stages.
void PoseVariant::Compute(bool advanced, PluginHand handCode, const Quatd (&alignment)[4], const ThumbSettings& thumb) {
  using namespace wide;
  const bool left = !IsRight(handCode);
  const Quatd q_world_wrist = sensorJoint_[kWristSensor];
  const Quatd4 q_world_wrist4 = Splat(q_world_wrist);

  const FingerAngles angles = Spread(advanced, left, Inverse(q_world_wrist), alignment);
  // Each long finger's estimate: the wrist turned by its spread and bend.
  const Quatd4 q_world_estimate = Mul(q_world_wrist4, FromEulerYZ(Load(angles.spread), Load(angles.bend)));
  const Quatd4 q_estimate_world = Inverse(q_world_estimate);
  const FingerStates states = StepFingerStates(q_estimate_world, q_world_wrist4);
  FollowOrHold(q_world_wrist, q_world_wrist4, q_world_estimate, q_estimate_world, states);
  CurlDistal(q_world_wrist4, states);
  ComputeThumb(left, q_world_wrist, thumb);
  out_[PluginJoint_Wrist] = q_world_wrist;
}

// The bend (about Z) of each long finger's aligned sensor against the wrist,
// and its spread (about Y): measured and clamped in advanced mode, a fixed
// fan in basic mode; both narrow as the finger bends far either way.
PoseVariant::FingerAngles PoseVariant::Spread(bool advanced, bool left, const Quatd& q_wrist_world,
                                              const Quatd (&alignment)[4]) const {
  using namespace wide;
  FingerAngles angles;
  double* const ey = angles.spread;
  double* const ez = angles.bend;
  {
    const Quatd4 q_wrist_finger = Mul(Splat(q_wrist_world), Mul(Load(sensorJoint_), Load(alignment)));
    Store(EulerZ(q_wrist_finger), ez);
    if (advanced) Store(EulerY(q_wrist_finger), ey);
  }
  if (advanced) {
    const double L = kSpreadLimit;
    if (left) {
      ey[kIndex] = Clamp(ey[kIndex], -L, 2 * L);
      ey[kMiddle] = Clamp(ey[kMiddle], -L, L);
      ey[kRing] = Clamp(ey[kRing], -L, L);
      ey[kPinky] = Clamp(ey[kPinky], -2 * L, L);
      if (ey[kRing] < ey[kPinky]) ey[kPinky] = ey[kRing];
      if (ey[kMiddle] < ey[kRing]) ey[kMiddle] = ey[kRing];
      if (ey[kIndex] < ey[kMiddle]) ey[kIndex] = ey[kMiddle];
    } else {
      ey[kIndex] = Clamp(ey[kIndex], -2 * L, L);
      ey[kMiddle] = Clamp(ey[kMiddle], -L, L);
      ey[kRing] = Clamp(ey[kRing], -L, L);
      ey[kPinky] = Clamp(ey[kPinky], -L, 2 * L);
      if (ey[kRing] > ey[kPinky]) ey[kPinky] = ey[kRing];
      if (ey[kMiddle] > ey[kRing]) ey[kMiddle] = ey[kRing];
      if (ey[kIndex] > ey[kMiddle]) ey[kIndex] = ey[kMiddle];
    }
    for (int f = 0; f < 4; ++f) {
      if (ez[f] > kSpreadNarrowAbove || ez[f] < kSpreadNarrowBelow) {
        ey[f] = (kSpreadNarrowScale - ez[f]) / kSpreadNarrowScale * ey[f];
      }
    }
  } else {
    for (int f = 0; f < 4; ++f) {
      const double base = kSpreadMultiple[f] * kSpreadBase;
      const bool narrow = ez[f] > kSpreadNarrowAbove || ez[f] < kSpreadNarrowBelow;
      if (left) {
        ey[f] = narrow ? (kSpreadNarrowScale - ez[f]) / kSpreadNarrowScale * base : base;
      } else {
        ey[f] = narrow ? (ez[f] - kSpreadNarrowScale) / kSpreadNarrowScale * base : -base;
      }
    }
  }
  return angles;
}

// Each long finger's state from the wrist's bend against its estimate: an
// open or closed finger follows its estimate, a finger bent past the limits
// holds its last shape; a closed one curls its distal joint.
PoseVariant::FingerStates PoseVariant::StepFingerStates(const wide::Quatd4& q_estimate_world,
                                                        const wide::Quatd4& q_world_wrist4) {
  using namespace wide;
  double bend[4];
  Store(EulerZ(Mul(q_estimate_world, q_world_wrist4)), bend);
  FingerStates states;
  for (int f = 0; f < 4; ++f) {
    const int32_t state = NextFingerState(fingerState_[f], bend[f]);
    fingerState_[f] = state;
    states.follows[f] = state == Finger_Open || state == Finger_Closed;
    states.closed[f] = state == Finger_Closed || state == Finger_HoldClosed;
  }
  return states;
}

// A following finger: the intermediate joint on the arc from the wrist to
// the estimate, the proximal joint turned about Y to meet it. A holding
// finger: its joints relative to their parents, as last followed, on the
// wrist as it is now.
void PoseVariant::FollowOrHold(const Quatd& q_world_wrist, const wide::Quatd4& q_world_wrist4,
                               const wide::Quatd4& q_world_estimate, const wide::Quatd4& q_estimate_world,
                               const FingerStates& states) {
  using namespace wide;
  Quatd q_world_intermediate[4], q_world_proximal[4];
  if (states.follows[0] || states.follows[1] || states.follows[2] || states.follows[3]) {
    double t[4];
    for (int f = 0; f < 4; ++f) t[f] = fingerState_[f] == Finger_Open ? kFingerSlerpOpen : kFingerSlerpClosed;
    const Quatd4 intermediate = SlerpArc4(q_world_wrist4, q_world_estimate).At(Load(t));
    Store(intermediate, q_world_intermediate);
    Store(Mul(q_world_estimate, RotY(EulerY(Mul(q_estimate_world, intermediate)))), q_world_proximal);
  }
  for (int f = 0; f < 4; ++f) {
    const int n = kFingerJoint[f];
    if (states.follows[f]) {
      out_[n] = q_world_intermediate[f];
      out_[n - 1] = q_world_proximal[f];
      // The joints relative to their parents are needed only once the
      // finger holds; keep the shape they come from and form them then
      // (same operands, same bits).
      shape_[f] = {q_world_wrist, out_[n - 1], q_world_intermediate[f]};
      localPending_[f] = true;
    } else {
      if (localPending_[f]) {
        const HeldShape& shape = shape_[f];
        local_[n - 1] = Rel(shape.wrist, shape.proximal);
        local_[n] = Rel(shape.proximal, shape.intermediate);
        localPending_[f] = false;
      }
      out_[n - 1] = Mul(q_world_wrist, local_[n - 1]);
      out_[n] = Mul(out_[n - 1], local_[n]);
    }
  }
}

// Distal joints: a closed finger curls by half its bend against the wrist.
// A distal factor of 0 makes the open curl the identity whatever the bend.
void PoseVariant::CurlDistal(const wide::Quatd4& q_world_wrist4, const FingerStates& states) {
  using namespace wide;
  static_assert(kDistalOpen == 0.0, "the open distal joint is not curled");
  Quatd q_intermediate_distal[4] = {kIdentityd, kIdentityd, kIdentityd, kIdentityd};
  if (states.closed[0] || states.closed[1] || states.closed[2] || states.closed[3]) {
    Quatd intermediate[4];
    for (int f = 0; f < 4; ++f) intermediate[f] = out_[kFingerJoint[f]];
    const D4 bend = EulerZ(Rel(Load(intermediate), q_world_wrist4));
    D4 sine, cosine;
    SinCos(-(Splat(kDistalClosed) * bend) * Splat(0.5) * Splat(kDegToRadd), sine, cosine);
    Quatd curls[4];
    Store(Quatd4{Splat(0.0), Splat(0.0), sine, cosine}, curls);
    for (int f = 0; f < 4; ++f) {
      if (states.closed[f]) q_intermediate_distal[f] = curls[f];
    }
  }
  for (int f = 0; f < 4; ++f) {
    const int n = kFingerJoint[f];
    local_[n + 1] = q_intermediate_distal[f];
    out_[n + 1] = Mul(out_[n], local_[n + 1]);
  }
}

// The thumb between its rest rotation on the wrist and its corrected
// sensor: both inner joints on the one arc between them, each turned by its
// offset, and the distal joint, in three lanes (the fourth repeats the
// distal joint).
void PoseVariant::ComputeThumb(bool left, const Quatd& q_world_wrist, const ThumbSettings& thumb) {
  using namespace wide;
  const Quatd q_world_thumbRest = Mul(q_world_wrist, left ? kLeftThumbReference : kRightThumbReference);
  const Quatd q_world_thumbDistal =
      Mul(sensorJoint_[kThumbSensor], left ? kLeftThumbCorrection : kRightThumbCorrection);
  const double e = kThumbBendRate * EulerZ(Rel(q_world_thumbDistal, q_world_thumbRest));
  const double e0 = e + thumb.rate[0], e1 = e + thumb.rate[1];
  Quatd thumbJoints[4];
  Store(SlerpArc4(Splat(q_world_thumbRest), Splat(q_world_thumbDistal)).At(Set(e0, e1, e0, e1)), thumbJoints);
  thumbJoints[2] = q_world_thumbDistal;
  thumbJoints[3] = q_world_thumbDistal;
  const Quatd offsets[4] = {thumb.offset[0], thumb.offset[1], thumb.offset[2], thumb.offset[2]};
  Store(Normalise(Mul(Load(thumbJoints), Load(offsets))), thumbJoints);
  out_[PluginJoint_ThumbProximal] = thumbJoints[0];
  out_[PluginJoint_ThumbIntermediate] = thumbJoints[1];
  out_[PluginJoint_ThumbDistal] = thumbJoints[2];
}

}  // namespace plugin_pose
}  // namespace ZEMBRA
