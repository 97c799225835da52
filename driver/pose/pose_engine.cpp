#include "driver/pose/pose_engine.h"

#include <cmath>
#include <ostream>

#include "driver/pose/quat_math.h"
#include "protocol/hand_model.h"
#include "protocol/packet.h"

namespace ZEMBRA {
namespace pose {

namespace {

constexpr float kFrameK = protocol::kFrameChangeFactor;

// Spread bases of the basic-mode estimate for the left hand; other hands use
// the opposite signs.
constexpr float kLeftSpread[4] = {-10.0f, -5.0f, 5.0f, 10.0f};

constexpr Quat Of(const protocol::QuatConstant& q) { return {q.x, q.y, q.z, q.w}; }
constexpr Quat kRightThumbReference = Of(protocol::kRightThumbReference);
constexpr Quat kRightThumbCorrection = Of(protocol::kRightThumbCorrection);
constexpr Quat kLeftThumbReference = Of(protocol::kLeftThumbReference);
constexpr Quat kLeftThumbCorrection = Of(protocol::kLeftThumbCorrection);

// Sensor frame to the hand model's frame.
Quat ChangeFrame(const Quat& s) {
  return {-(s.y + s.w) * kFrameK, (s.w - s.y) * kFrameK, (s.z - s.x) * kFrameK, -(s.x + s.z) * kFrameK};
}

bool IsUnit(const Quat& q) {
  const float n = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
  return std::fabs(double(n) - 1.0) < 1e-6;
}

}  // namespace

PoseEngine::PoseEngine() {
  for (auto& b : bend_) b.store(0.0f, std::memory_order_relaxed);
  raw_.fill(kIdentity);
  joints_.fill(kIdentity);
  heldProximal_.fill(kIdentity);
  heldIntermediate_.fill(kIdentity);
  alignment_.fill(kIdentity);
  measuredFingers_.fill(kIdentity);
  measuredWrist_ = kIdentity;
}

PoseEngine::Outcome PoseEngine::Process(const protocol::DecodedRead& read, Pose& out) {
  if (!read.accepted()) return Outcome::Rejected;

  // Normalise the records together, four lanes at a time; a record with a
  // bad check byte then becomes the zero quaternion.
  Quat decoded[8];
  for (int r = 0; r < read.recordCount; ++r) {
    const protocol::WireQuat& q = read.records[r].rotation;
    decoded[r] = {q.x, q.y, q.z, q.w};
  }
  for (int r = read.recordCount; r < 8; ++r) decoded[r] = kIdentity;
  wide::Store(wide::Normalise(wide::Load(&decoded[0])), &decoded[0]);
  if (read.recordCount > 4) wide::Store(wide::Normalise(wide::Load(&decoded[4])), &decoded[4]);
  for (int r = 0; r < read.recordCount; ++r) {
    raw_[size_t(read.records[r].sensor)] = read.records[r].checkOk ? decoded[r] : Quat{0.0f, 0.0f, 0.0f, 0.0f};
  }

  if (read.hasStatus) {
    statusByte_ = read.status.statusByte;
    statusTable_[protocol::StatusSlotForSelector(read.status.selector)] = read.status.slotValue;
    statusValue_ = read.status.value;
  }

  if (!SensorsValid()) return Outcome::NoPose;

  std::array<Quat, 4> alignment;
  {
    std::lock_guard<std::mutex> lock(alignMutex_);
    alignment = alignment_;
  }
  ComputeJoints(alignment);
  {
    std::lock_guard<std::mutex> lock(alignMutex_);
    for (size_t i = 0; i < 4; ++i) measuredFingers_[i] = joints_[i];
    measuredWrist_ = joints_[Joint_Wrist];
  }

  for (size_t j = 0; j < Joint_Count; ++j) out.joints[j] = joints_[j];
  out.type = hand();
  for (int k = 0; k < 6; ++k) out.statusTable[k] = statusTable_[k];
  out.statusByte = statusByte_;
  out.statusValue = double(statusValue_);
  return Outcome::Pose;
}

bool PoseEngine::SensorsValid() const {
  for (const Quat& s : raw_) {
    if (!IsUnit(s)) return false;
  }
  return true;
}

// Rotations are named by the frames they map between: q_world_wrist takes
// the wrist's frame to the world's, q_wrist_world the world's to the
// wrist's. The four long fingers run side by side, one per lane (pinky,
// ring, middle, index).
void PoseEngine::ComputeJoints(const std::array<Quat, 4>& alignment) {
  using namespace wide;
  for (size_t i = 0; i < 5; ++i) joints_[i] = ChangeFrame(raw_[i]);
  joints_[Joint_Wrist] = ChangeFrame(raw_[5]);
  const Quat q_world_wrist = joints_[Joint_Wrist];
  Quat q_world_thumbDistal = joints_[Joint_ThumbDistal];

  const Quat4 q_world_wrist4 = Splat(q_world_wrist);
  const Quat4 q_world_finger = Mul(Load(&joints_[0]), Load(alignment.data()));

  const HandType hand = this->hand();
  // The wrist normalised once for every relative rotation below.
  const Quat4 q_wrist_world = Splat(Conj(Normalise(q_world_wrist)));
  const Quat4 q_wrist_finger = Mul(q_wrist_world, q_world_finger);
  const Euler4 poles = PolesOf(q_wrist_finger);
  // Spread (about Y) and bend (about Z) of each finger against the wrist.
  F4 spread = EulerY(q_wrist_finger, poles);
  const F4 bendZ = EulerZ(q_wrist_finger, poles);
  if (advancedMode()) {
    spread = Select((bendZ > Splat(30.0f)) | (bendZ < Splat(-100.0f)), (Splat(160.0f) - bendZ) / Splat(130.0f) * spread,
                    spread);
  } else {
    const F4 base = hand == Hand_Left ? Load(kLeftSpread) : -Load(kLeftSpread);
    spread =
        Select((bendZ > Splat(0.0f)) | (bendZ < Splat(-100.0f)), (Splat(160.0f) - bendZ) / Splat(160.0f) * base, base);
  }
  const Quat4 q_world_estimate = Mul(q_world_wrist4, FromEulerYZ(spread, bendZ));

  // A plausible estimate is the intermediate joint itself and its bend
  // against the wrist is the finger value; an implausible one gives way to
  // the last plausible shape, held relative to the wrist.
  const F4 z = RelZ(q_world_estimate, q_world_wrist4);
  const M4 plausible = (z < Splat(100.0f)) & (z > Splat(-160.0f));
  const Quat4 q_world_halfway = Slerp(q_world_wrist4, q_world_estimate, Splat(0.45f));
  Quat4 q_world_intermediate = q_world_estimate;
  Quat4 q_world_proximal = Mul(q_world_halfway, RotY(RelY(q_world_halfway, q_world_estimate)));
  Quat4 q_wrist_proximal = Mul(q_wrist_world, q_world_proximal);
  Quat4 q_proximal_intermediate = Rel(q_world_proximal, q_world_estimate);
  F4 bend = z;
  if (!All(plausible)) {
    const Quat4 q_wrist_proximalHeld = Load(heldProximal_.data());
    const Quat4 q_proximal_intermediateHeld = Load(heldIntermediate_.data());
    const Quat4 q_world_proximalHeld = Mul(q_world_wrist4, q_wrist_proximalHeld);
    const Quat4 q_world_intermediateHeld = Mul(q_world_proximalHeld, q_proximal_intermediateHeld);
    q_world_proximal = Select(plausible, q_world_proximal, q_world_proximalHeld);
    q_world_intermediate = Select(plausible, q_world_intermediate, q_world_intermediateHeld);
    q_wrist_proximal = Select(plausible, q_wrist_proximal, q_wrist_proximalHeld);
    q_proximal_intermediate = Select(plausible, q_proximal_intermediate, q_proximal_intermediateHeld);
    bend = Select(plausible, bend, RelZ(q_world_intermediateHeld, q_world_wrist4));
  }
  Store(q_wrist_proximal, heldProximal_.data());
  Store(q_proximal_intermediate, heldIntermediate_.data());
  Store(q_world_intermediate, &joints_[Joint_PinkyIntermediate]);
  Store(q_world_proximal, &joints_[Joint_PinkyProximal]);

  // A bent finger curls its distal joint by a quarter of the bend.
  const Quat4 q_world_distalCurled = Mul(q_world_intermediate, RotZHalfAngle(bend * Splat(-kDegToRad) * Splat(0.25f)));
  Store(Select(bend < Splat(0.0f), q_world_distalCurled, q_world_intermediate), &joints_[Joint_PinkyDistal]);

  // The thumb: its rest rotation on the wrist, its sensor corrected.
  Quat q_world_thumbRest = kIdentity;
  if (hand == Hand_Right) {
    q_world_thumbRest = Mul(q_world_wrist, kRightThumbReference);
    q_world_thumbDistal = Mul(q_world_thumbDistal, kRightThumbCorrection);
  } else if (hand == Hand_Left) {
    q_world_thumbRest = Mul(q_world_wrist, kLeftThumbReference);
    q_world_thumbDistal = Mul(q_world_thumbDistal, kLeftThumbCorrection);
  }
  joints_[Joint_ThumbDistal] = q_world_thumbDistal;

  // Both inner thumb joints on the one arc from the rest rotation to the
  // distal joint, in two lanes.
  const float thumbBend = RelZ(q_world_thumbDistal, q_world_thumbRest);
  const float rateIntermediate = 0.0025f * thumbBend + 0.75f;
  const float rateProximal = 0.0025f * thumbBend + 0.55f;
  Quat thumb[4];
  Store(Slerp(Splat(q_world_thumbRest), Splat(q_world_thumbDistal),
              Set(rateIntermediate, rateProximal, rateIntermediate, rateProximal)),
        thumb);
  joints_[Joint_ThumbIntermediate] = thumb[0];
  joints_[Joint_ThumbProximal] = thumb[1];

  float bends[4];
  wide::Store(bend, bends);
  for (size_t i = 0; i < 4; ++i) bend_[i].store(bends[i], std::memory_order_relaxed);
  bend_[4].store(thumbBend, std::memory_order_relaxed);
}

void PoseEngine::AlignFingers(std::ostream& out) {
  std::array<Quat, 4> before, after;
  {
    std::lock_guard<std::mutex> lock(alignMutex_);
    for (size_t i = 0; i < 4; ++i) {
      const float a = RelY(measuredWrist_, measuredFingers_[i]);
      const float h = a * 0.5f * kDegToRad;
      float s, c;
      SinCos(h, s, c);
      before[i] = alignment_[i];
      alignment_[i] = Mul(alignment_[i], Quat{0.0f, -s, 0.0f, c});
      after[i] = alignment_[i];
    }
  }
  for (size_t i = 0; i < 4; ++i) {
    for (const Quat* q : {&before[i], &after[i]}) {
      out << "alignment[" << i << "]: " << q->x << "," << q->y << "," << q->z << "," << q->w << std::endl;
    }
  }
}

Quat PoseEngine::Alignment(int finger) const {
  std::lock_guard<std::mutex> lock(alignMutex_);
  return alignment_[size_t(finger)];
}

}  // namespace pose
}  // namespace ZEMBRA
