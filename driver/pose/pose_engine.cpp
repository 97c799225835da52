#include "driver/pose/pose_engine.h"

#include <cmath>
#include <ostream>

#include "driver/pose/quat_math.h"
#include "protocol/packet.h"

namespace ZEMBRA {
namespace pose {

namespace {

constexpr float kFrameK = 0.70710677f;

// Spread bases of the basic-mode estimate for the left hand; other hands use
// the opposite signs.
constexpr float kLeftSpread[4] = {-10.0f, -5.0f, 5.0f, 10.0f};

constexpr Quat kRightThumbReference = {-0.49673f, -0.409576f, 0.286788f, 0.709406f};
constexpr Quat kRightThumbCorrection = {-0.015134413f, 0.1729864f, -0.08583163f, 0.98105586f};
constexpr Quat kLeftThumbReference = {0.49673f, 0.409576f, 0.286788f, 0.709406f};
constexpr Quat kLeftThumbCorrection = {0.015134413f, -0.1729864f, -0.08583163f, 0.98105586f};

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

PoseEngine::Outcome PoseEngine::ProcessPacket(const uint8_t* data, size_t size, Pose& out) {
  const protocol::PacketKind kind = protocol::ClassifyRead(data, size);
  if (kind == protocol::PacketKind::Rejected) return Outcome::Rejected;
  const protocol::PacketLayout layout = protocol::LayoutOf(kind);

  for (int r = 0; r < layout.recordCount; ++r) {
    const uint8_t* record = data + layout.records[r].offset;
    Quat& slot = raw_[size_t(layout.records[r].sensor)];
    if (protocol::RecordCheckOk(record)) {
      const protocol::WireQuat q = protocol::DecodeRecordComponents(record);
      slot = Normalise({q.x, q.y, q.z, q.w});
    } else {
      slot = {0.0f, 0.0f, 0.0f, 0.0f};
    }
  }

  if (layout.hasStatus) {
    const protocol::StatusFields status = protocol::DecodeStatus(data, layout.statusOffset);
    statusByte_ = status.statusByte;
    statusTable_[protocol::StatusSlotForSelector(status.selector)] = status.slotValue;
    statusValue_ = status.value;
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

void PoseEngine::ComputeJoints(const std::array<Quat, 4>& alignment) {
  for (size_t i = 0; i < 5; ++i) joints_[i] = ChangeFrame(raw_[i]);
  joints_[Joint_Wrist] = ChangeFrame(raw_[5]);
  const Quat X = joints_[Joint_Wrist];
  Quat T = joints_[Joint_ThumbDistal];

  for (size_t i = 0; i < 4; ++i) joints_[i] = Mul(joints_[i], alignment[i]);

  const HandType hand = this->hand();
  const bool advanced = advancedMode();
  // Rel(X, q) for every q below, with X normalised once.
  const Quat towardsX = Conj(Normalise(X));
  std::array<Quat, 4> estimate;
  for (size_t i = 0; i < 4; ++i) {
    // ex is dropped below, so only ey and ez are evaluated.
    const EulerYZ e = ToEulerYZ(Mul(towardsX, joints_[i]));
    float ey = e.ey;
    const float ez = e.ez;
    if (advanced) {
      if (ez > 30.0f || ez < -100.0f) ey = (160.0f - ez) / 130.0f * ey;
    } else {
      const float base = hand == Hand_Left ? kLeftSpread[i] : -kLeftSpread[i];
      if (ez > 0.0f || ez < -100.0f) {
        ey = (160.0f - ez) / 160.0f * base;
      } else {
        ey = base;
      }
    }
    estimate[i] = Mul(X, FromEulerYZ(ey, ez));
  }

  // The bend of each final intermediate joint against the wrist drives its
  // distal joint and is the finger value. For a plausible estimate the joint
  // is the estimate itself, whose bend the plausibility test has already
  // measured.
  std::array<float, 4> bend;
  for (size_t i = 0; i < 4; ++i) {
    const Quat& P = estimate[i];
    const float z = RelZ(P, X);
    Quat& proximal = joints_[Joint_PinkyProximal + i];
    if (z < 100.0f && z > -160.0f) {
      const Quat S = Slerp(X, P, 0.45f);
      joints_[i] = P;
      proximal = Mul(S, RotY(RelY(S, P)));
      heldProximal_[i] = Mul(towardsX, proximal);
      heldIntermediate_[i] = Rel(proximal, P);
      bend[i] = z;
    } else {
      proximal = Mul(X, heldProximal_[i]);
      joints_[i] = Mul(proximal, heldIntermediate_[i]);
      bend[i] = RelZ(joints_[i], X);
    }
  }

  for (size_t i = 0; i < 4; ++i) {
    const float z = bend[i];
    joints_[Joint_PinkyDistal + i] = z < 0.0f ? Mul(joints_[i], RotZHalfAngle(z * (-kDegToRad) * 0.25f)) : joints_[i];
  }

  Quat V = kIdentity;
  if (hand == Hand_Right) {
    V = Mul(X, kRightThumbReference);
    T = Mul(T, kRightThumbCorrection);
  } else if (hand == Hand_Left) {
    V = Mul(X, kLeftThumbReference);
    T = Mul(T, kLeftThumbCorrection);
  }
  joints_[Joint_ThumbDistal] = T;

  const float thumbBend = RelZ(T, V);
  joints_[Joint_ThumbIntermediate] = Slerp(V, T, 0.0025f * thumbBend + 0.75f);
  joints_[Joint_ThumbProximal] = Slerp(V, T, 0.0025f * thumbBend + 0.55f);

  for (size_t i = 0; i < 4; ++i) bend_[i].store(bend[i], std::memory_order_relaxed);
  bend_[4].store(thumbBend, std::memory_order_relaxed);
}

void PoseEngine::AlignFingers(std::ostream& out) {
  std::array<Quat, 4> before, after;
  {
    std::lock_guard<std::mutex> lock(alignMutex_);
    for (size_t i = 0; i < 4; ++i) {
      const float a = RelY(measuredWrist_, measuredFingers_[i]);
      const float h = a * 0.5f * kDegToRad;
      before[i] = alignment_[i];
      alignment_[i] = Mul(alignment_[i], Quat{0.0f, -std::sin(h), 0.0f, std::cos(h)});
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
