// The driver's hand pose engine: one decoded read in, at most one Pose out.
// It owns no port, no thread and no clock; the serial link decodes each read
// (protocol::DecodeRead) and feeds it, and tests, fuzzers and benchmarks
// drive it directly.
//
// Threads: Process runs on one thread at a time (the reader). The
// client-facing calls (SetHand before streaming, SetAdvancedMode,
// FingerValue, AlignFingers) may run on another thread at any moment. The
// flags and finger values are atomics; the alignment rotations and the
// joints that the alignment measures sit behind a short mutex that the
// reader holds only to copy five quaternions in and out per packet.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <mutex>

#include "protocol/packet.h"
#include "zembra/Pose.h"

namespace ZEMBRA {
namespace pose {

class PoseEngine {
 public:
  enum class Outcome {
    Rejected,  // not a packet: dropped without effect
    NoPose,    // accepted (counts for the link), but a sensor failed the validity gate
    Pose,      // accepted and a pose was computed into the out-parameter
  };

  PoseEngine();

  // The normalisation of the decoded records, the validity gate and the
  // joints. A read that was not accepted gives Rejected.
  Outcome Process(const protocol::DecodedRead& read, Pose& out);
  // Decodes the bytes of one completed read first.
  Outcome ProcessPacket(const uint8_t* data, size_t size, Pose& out) {
    return Process(protocol::DecodeRead(data, size), out);
  }

  void SetHand(HandType hand) { hand_.store(hand, std::memory_order_relaxed); }
  HandType hand() const { return HandType(hand_.load(std::memory_order_relaxed)); }
  void SetAdvancedMode(bool enabled) { advanced_.store(enabled, std::memory_order_relaxed); }
  bool advancedMode() const { return advanced_.load(std::memory_order_relaxed); }

  // Bend angle of finger 0..4 (pinky, ring, middle, index, thumb), degrees.
  float FingerValue(int index) const { return bend_[size_t(index)].load(std::memory_order_relaxed); }

  // Measures each long finger's sideways angle in the last computed pose and
  // multiplies a correction onto its alignment rotation; writes the old and
  // new rotation of each finger to out.
  void AlignFingers(std::ostream& out);

  Quat Alignment(int finger) const;
  const Quat& RawSensor(int sensor) const { return raw_[size_t(sensor)]; }

 private:
  bool SensorsValid() const;
  void ComputeJoints(const std::array<Quat, 4>& alignment);

  std::atomic<int32_t> hand_{0};
  std::atomic<bool> advanced_{false};
  std::array<std::atomic<float>, 5> bend_;

  // Reader-thread state.
  std::array<Quat, 6> raw_;
  std::array<Quat, Joint_Count> joints_;
  // The last plausible shape of each long finger: its proximal joint
  // relative to the wrist, its intermediate joint relative to the proximal.
  std::array<Quat, 4> heldProximal_;
  std::array<Quat, 4> heldIntermediate_;
  int32_t statusTable_[6] = {};
  int32_t statusByte_ = 0;
  float statusValue_ = 0.0f;

  // Shared with AlignFingers, behind alignMutex_.
  mutable std::mutex alignMutex_;
  std::array<Quat, 4> alignment_;
  std::array<Quat, 4> measuredFingers_;  // intermediate joints of the last pose
  Quat measuredWrist_;
};

}  // namespace pose
}  // namespace ZEMBRA
