// The plug-in's hand pose engine: the double-precision variant of the
// driver's pose computation. It shares the driver's packet decoding (layout,
// check byte, status fields, validity gate) through the protocol library and
// differs after the gate: two hardware versions of the sensor frame, a
// per-finger state machine instead of the driver's fixed plausibility rule,
// tunable thumb offsets and slerp rates, and the joints in the plug-in's
// order (wrist, thumb, index, middle, ring, pinky; each proximal,
// intermediate, distal).
//
// Threads: Process and the status accessors run on the serial thread,
// one packet at a time. The setters run on any thread at any moment and take
// effect with the next packet; CloseFingerAlignment runs on the engine's
// thread while packets stream. The flags are atomics; the thumb settings,
// the alignment rotations and the joints the alignment measures sit behind
// one short mutex that the serial thread holds only to copy them in and out
// once per packet. Nothing on the per-packet path allocates.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "plugin/quat_double.h"
#include "protocol/hand_model.h"
#include "protocol/packet.h"

namespace ZEMBRA {
namespace plugin_pose {

// Plug-in joint order.
enum PluginJoint : int {
  PluginJoint_Wrist = 0,
  PluginJoint_ThumbProximal = 1,
  PluginJoint_ThumbIntermediate = 2,
  PluginJoint_ThumbDistal = 3,
  PluginJoint_IndexProximal = 4,
  PluginJoint_IndexIntermediate = 5,
  PluginJoint_IndexDistal = 6,
  PluginJoint_MiddleProximal = 7,
  PluginJoint_MiddleIntermediate = 8,
  PluginJoint_MiddleDistal = 9,
  PluginJoint_RingProximal = 10,
  PluginJoint_RingIntermediate = 11,
  PluginJoint_RingDistal = 12,
  PluginJoint_PinkyProximal = 13,
  PluginJoint_PinkyIntermediate = 14,
  PluginJoint_PinkyDistal = 15,
  PluginJoint_Count = 16,
};

// Plug-in joint fed by each sensor 0..5 (pinky, ring, middle, index, thumb,
// back of the hand).
constexpr int kSensorJoint[6] = {PluginJoint_PinkyIntermediate,  PluginJoint_RingIntermediate,
                                 PluginJoint_MiddleIntermediate, PluginJoint_IndexIntermediate,
                                 PluginJoint_ThumbDistal,        PluginJoint_Wrist};

// The hand model's order table says the same (driver joints: 0..3 finger
// intermediates pinky to index, 4 thumb distal, 5 wrist, 15 thumb proximal,
// 10 thumb intermediate).
namespace order = ZEMBRA::protocol;
static_assert(order::kPluginJointOrder[PluginJoint_PinkyIntermediate] == 0, "order");
static_assert(order::kPluginJointOrder[PluginJoint_RingIntermediate] == 1, "order");
static_assert(order::kPluginJointOrder[PluginJoint_MiddleIntermediate] == 2, "order");
static_assert(order::kPluginJointOrder[PluginJoint_IndexIntermediate] == 3, "order");
static_assert(order::kPluginJointOrder[PluginJoint_ThumbDistal] == 4, "order");
static_assert(order::kPluginJointOrder[PluginJoint_Wrist] == order::kWristJoint, "order");
static_assert(order::kPluginJointOrder[PluginJoint_ThumbProximal] == 15, "order");
static_assert(order::kPluginJointOrder[PluginJoint_ThumbIntermediate] == 10, "order");

// Plug-in hand codes: 1 left, 0 right.
using ZEMBRA::protocol::kPluginHandLeft;
using ZEMBRA::protocol::kPluginHandRight;
using ZEMBRA::protocol::PluginHand;

class PoseVariant {
 public:
  enum class Outcome {
    Rejected,  // not a packet: dropped without effect, not counted
    NoPose,    // accepted (counts for the link), but a sensor failed the validity gate
    Pose,      // accepted and the joints were written to the out-parameter
  };

  // Finger states of the long fingers.
  enum FingerState : int32_t {
    Finger_Start = 0,
    Finger_Open = 1,        // bend in [0, 100): follows the estimate
    Finger_Closed = 2,      // bend in (-160, 0]: follows the estimate, curled distal joint
    Finger_HoldOpen = 3,    // bend went to 100 or more: holds the last shape
    Finger_HoldClosed = 4,  // bend went to -160 or less: holds the last shape
  };

  PoseVariant(bool advancedMode, int hardwareVersion);
  PoseVariant(const PoseVariant&) = delete;
  PoseVariant& operator=(const PoseVariant&) = delete;

  // One completed read. On Pose the sixteen joints (plug-in order; x, y, z,
  // w narrowed to float) are written to out; otherwise out is untouched.
  // The normalisation of the decoded records, the validity gate and the
  // joints. A read that was not accepted gives Rejected.
  Outcome Process(const ZEMBRA::protocol::DecodedRead& read, float out[16][4]);
  // Decodes the bytes of one completed read first.
  Outcome ProcessPacket(const uint8_t* data, size_t size, float out[16][4]) {
    return Process(ZEMBRA::protocol::DecodeRead(data, size), out);
  }

  // Hand code: 0 right, any other value left (as the serial link reads it;
  // the C interface lets only 0 and 1 through).
  void SetHand(PluginHand hand) { hand_.store(hand, std::memory_order_relaxed); }
  PluginHand hand() const { return hand_.load(std::memory_order_relaxed); }
  void SetAdvancedMode(bool enabled) { advanced_.store(enabled, std::memory_order_relaxed); }
  bool advancedMode() const { return advanced_.load(std::memory_order_relaxed); }
  void SetHardwareVersion(int version) { version_.store(version, std::memory_order_relaxed); }
  int hardwareVersion() const { return version_.load(std::memory_order_relaxed); }

  // Thumb offset `which` (0 proximal, 1 intermediate, 2 distal) as Euler
  // angles in degrees; any other `which` is ignored.
  void SetThumbOffset(int which, double x, double y, double z);
  // Slerp rates of the thumb's proximal (first) and intermediate (second)
  // joints between the thumb reference and the thumb sensor.
  void SetThumbSlerpRate(double first, double second);

  // In advanced mode, measures how far each long finger (pinky, ring,
  // middle, index) is spread sideways from the wrist in the last delivered
  // pose and multiplies the opposite rotation onto its alignment. Does
  // nothing in basic mode.
  void CloseFingerAlignment();

  // Status fields of the last packet that carried them (serial thread).
  int32_t statusByte() const { return statusByte_; }
  const int32_t* statusTable() const { return statusTable_; }
  float statusValue() const { return statusValue_; }

  // Alignment rotation at plug-in joint 5, 8, 11 or 14; the identity for any
  // other joint. Any thread.
  Quatd Alignment(int joint) const;
  // Finger state at plug-in joint 5, 8, 11 or 14 (serial thread).
  int32_t FingerStateAt(int joint) const;

 private:
  struct ThumbSettings {
    Quatd offset[3];  // FromEuler of the three offset triples
    double rate[2];   // proximal, intermediate
  };

  // The stages of one pose.
  struct FingerAngles {
    double spread[4];  // about Y, degrees
    double bend[4];    // about Z, degrees
  };
  struct FingerStates {
    bool follows[4];  // open or closed: the finger follows its estimate
    bool closed[4];   // closed or holding closed: the distal joint curls
  };
  bool SensorsValid() const;
  void ChangeFrame(int version);
  void Compute(bool advanced, PluginHand hand, const Quatd (&alignment)[4], const ThumbSettings& thumb);
  FingerAngles Spread(bool advanced, bool left, const Quatd& q_wrist_world, const Quatd (&alignment)[4]) const;
  FingerStates StepFingerStates(const wide::Quatd4& q_estimate_world, const wide::Quatd4& q_world_wrist4);
  void FollowOrHold(const Quatd& q_world_wrist, const wide::Quatd4& q_world_wrist4,
                    const wide::Quatd4& q_world_estimate, const wide::Quatd4& q_estimate_world,
                    const FingerStates& states);
  void CurlDistal(const wide::Quatd4& q_world_wrist4, const FingerStates& states);
  void ComputeThumb(bool left, const Quatd& q_world_wrist, const ThumbSettings& thumb);

  std::atomic<PluginHand> hand_{kPluginHandRight};
  std::atomic<bool> advanced_;
  std::atomic<int32_t> version_;

  // Serial-thread state.
  Quatd raw_[6];          // decoded sensors, as received
  Quatd sensorJoint_[6];  // the sensors after the frame change, by sensor index
  Quatd out_[16];         // the delivered joints, in the world frame
  Quatd local_[16];       // joints relative to their parents: what a holding finger keeps
  struct HeldShape {
    Quatd wrist, proximal, intermediate;
  };
  HeldShape shape_[4];           // last followed shape per finger slot, source of local_
  bool localPending_[4] = {};    // local_ of the finger not yet formed from shape_
  int32_t fingerState_[4] = {};  // by finger slot (pinky, ring, middle, index)
  int32_t statusTable_[6] = {};
  int32_t statusByte_ = 0;
  float statusValue_ = 0.0f;

  // Shared with the setters and CloseFingerAlignment, behind mutex_.
  mutable std::mutex mutex_;
  ThumbSettings thumb_;
  Quatd alignment_[4];       // by finger slot
  Quatd measuredWrist_;      // wrist of the last delivered pose
  Quatd measuredFinger_[4];  // intermediate joints of the last delivered pose
};

}  // namespace plugin_pose
}  // namespace ZEMBRA
