#include "steamvr/skeleton/hand_mapping.h"

#include <algorithm>
#include <cmath>

#include "protocol/hand_model.h"

namespace ZEMBRA {
namespace skeleton {

namespace {

using rigid::Quat;
using rigid::Transform;
using rigid::Vec3;

// The pose engine puts 45 % of a long finger's bend into its proximal joint
// and the rest into the intermediate one; a closed finger's joints are bent
// by these shares of the finger's bend.
constexpr double kProximalShare = 0.45;
constexpr double kIntermediateShare = 1.0 - kProximalShare;

// How far a bone may go beyond the reference open hand (bent back) and how
// far it may spread: beyond these a glove reading is not a hand.
constexpr double kMostBentBack = -0.1;
constexpr double kMostSpread = 25.0;
// Below this a reference bone is taken as not turning between open and fist.
constexpr double kNoTurnDegrees = 1e-3;

// One long finger: its SteamVR bones and our joints.
struct FingerChain {
  int metacarpal, proximal, intermediate, distal, aux;
  JointIndex ourProximal, ourIntermediate, ourDistal;
  // The spread of the proximal joint in the pose engine's rest hand, as
  // the engine sets it for a left hand when it does not measure spreads
  // (the right hand's is the opposite); the reference open hand's fingers
  // fan out as far.
  double leftRestSpread;
};

constexpr FingerChain kChains[kFingerCount] = {
    {kIndex0, kIndex1, kIndex2, kIndex3, kAuxIndex, Joint_IndexProximal, Joint_IndexIntermediate, Joint_IndexDistal,
     10},
    {kMiddle0, kMiddle1, kMiddle2, kMiddle3, kAuxMiddle, Joint_MiddleProximal, Joint_MiddleIntermediate,
     Joint_MiddleDistal, 5},
    {kRing0, kRing1, kRing2, kRing3, kAuxRing, Joint_RingProximal, Joint_RingIntermediate, Joint_RingDistal, -5},
    {kPinky0, kPinky1, kPinky2, kPinky3, kAuxPinky, Joint_PinkyProximal, Joint_PinkyIntermediate, Joint_PinkyDistal,
     -10},
};

Quat FromPose(const ZEMBRA::Quat& q) { return rigid::Normalised({q.x, q.y, q.z, q.w}); }

Quat ThumbRest(HandType hand) {
  const protocol::QuatConstant& c = hand == Hand_Right ? protocol::kRightThumbReference : protocol::kLeftThumbReference;
  return rigid::Normalised({c.x, c.y, c.z, c.w});
}

double Clamp(double value, double low, double high) { return std::min(high, std::max(low, value)); }

Vec3 Lerp(const Vec3& a, const Vec3& b, double t) { return a + t * (b - a); }

}  // namespace

SpreadBend SplitJoint(const Quat& q) {
  // The pose engine's decomposition q = Ry(y) * Rx(x) * Rz(z).
  const double y = std::atan2(2 * (q.z * q.x + q.w * q.y), 1 - 2 * (q.x * q.x + q.y * q.y));
  const double z = std::atan2(2 * (q.x * q.y + q.w * q.z), 1 - 2 * (q.z * q.z + q.x * q.x));
  return {y / rigid::kDegree, z / rigid::kDegree};
}

HandMapper::HandMapper(HandType hand, MappingOptions options)
    : hand_(hand), options_(options), reference_(LoadReferenceHand(hand)) {
  for (int b = 0; b < kBoneCount; ++b) {
    const rigid::AxisTurn turn =
        rigid::ToAxisTurn(rigid::Conj(reference_.open[b].rotation) * reference_.fist[b].rotation);
    if (turn.degrees < kNoTurnDegrees) continue;
    motion_[b].bendAxis = turn.axis;
    motion_[b].fistDegrees = turn.degrees;
  }
  // A finger bone reaches along its own x axis (towards -x in the right
  // hand, +x in the left) and bends about an axis near its z, the same in
  // both hands: the axis across the finger is then the same in both hands
  // too, and turning about it takes the finger towards the thumb.
  for (const FingerChain& chain : kChains) {
    for (int b : {chain.proximal, chain.intermediate, chain.distal})
      motion_[b].spreadAxis = rigid::Unit(rigid::Cross(motion_[b].bendAxis, Vec3{1, 0, 0}));
  }
}

Transform HandMapper::Turned(int bone, double closure, double spreadDegrees) const {
  const BoneMotion& m = motion_[bone];
  const double c = Clamp(closure, kMostBentBack, 1.0);
  const Transform& open = reference_.open[bone];
  Transform t;
  t.position = Lerp(open.position, reference_.fist[bone].position, Clamp(c, 0.0, 1.0));
  t.rotation = open.rotation;
  if (spreadDegrees != 0)
    t.rotation = t.rotation * rigid::AxisAngle(m.spreadAxis, Clamp(spreadDegrees, -kMostSpread, kMostSpread));
  t.rotation = rigid::Normalised(t.rotation * rigid::AxisAngle(m.bendAxis, c * m.fistDegrees));
  return t;
}

HandSkeleton HandMapper::Map(const Pose& pose) const {
  HandSkeleton out;
  Quat j[Joint_Count];
  for (int i = 0; i < Joint_Count; ++i) j[i] = FromPose(pose.joints[i]);
  const Quat& wrist = j[Joint_Wrist];
  // Our spreads turn a left hand's fingers towards its thumb when positive,
  // a right hand's when negative.
  const double towardsThumb = hand_ == Hand_Right ? -1.0 : 1.0;

  // Root, wrist and tips stay as the reference hand has them.
  for (int b = 0; b < kBoneCount; ++b) out.bones[b] = reference_.open[b];

  const CurlRange& f = options_.fingers;
  const double span = f.closed - f.open;
  for (int finger = 0; finger < kFingerCount; ++finger) {
    const FingerChain& chain = kChains[finger];
    const SpreadBend proximal = SplitJoint(rigid::Conj(wrist) * j[chain.ourProximal]);
    const SpreadBend intermediate = SplitJoint(rigid::Conj(j[chain.ourProximal]) * j[chain.ourIntermediate]);
    const SpreadBend distal = SplitJoint(rigid::Conj(j[chain.ourIntermediate]) * j[chain.ourDistal]);

    const double curl = (proximal.bend + intermediate.bend - f.open) / span;
    const double proximalClosure = (proximal.bend - kProximalShare * f.open) / (kProximalShare * span);
    const double intermediateClosure = (intermediate.bend - kIntermediateShare * f.open) / (kIntermediateShare * span);
    // The engine computes our distal joint from the intermediate one (half
    // as much again in a curl, in line when bent back), and the reference
    // fist's distal bone already holds a finger's last joint's share: the
    // distal bone closes as far as the intermediate one.
    const double distalClosure = intermediateClosure;

    out.bones[chain.metacarpal] = Turned(chain.metacarpal, curl, 0);
    out.bones[chain.proximal] =
        Turned(chain.proximal, proximalClosure, towardsThumb * proximal.spread - chain.leftRestSpread);
    out.bones[chain.intermediate] = Turned(chain.intermediate, intermediateClosure, towardsThumb * intermediate.spread);
    out.bones[chain.distal] = Turned(chain.distal, distalClosure, towardsThumb * distal.spread);
    out.curl[size_t(finger)] = Clamp(curl, 0.0, 1.0);
  }

  // The engine shares the thumb's bend among its three joints by weights
  // that change with the bend: the thumb closes as a whole.
  const Quat rest = wrist * ThumbRest(hand_);
  const double thumbBend = SplitJoint(rigid::Conj(rest) * j[Joint_ThumbProximal]).bend +
                           SplitJoint(rigid::Conj(j[Joint_ThumbProximal]) * j[Joint_ThumbIntermediate]).bend +
                           SplitJoint(rigid::Conj(j[Joint_ThumbIntermediate]) * j[Joint_ThumbDistal]).bend;
  const double thumbClosure = (thumbBend - options_.thumb.open) / (options_.thumb.closed - options_.thumb.open);
  for (int b : {kThumb0, kThumb1, kThumb2}) out.bones[b] = Turned(b, thumbClosure, 0);
  out.thumbCurl = Clamp(thumbClosure, 0.0, 1.0);

  // The aux bones: each finger's distal bone in the root frame; the left
  // hand's turned half about that bone's x axis, as SteamVR mirrors them.
  Bones root;
  ToRootFrame(out.bones, root);
  const int auxOf[5][2] = {
      {kAuxThumb, kThumb2}, {kAuxIndex, kIndex3}, {kAuxMiddle, kMiddle3}, {kAuxRing, kRing3}, {kAuxPinky, kPinky3}};
  for (const auto& pair : auxOf) {
    out.bones[pair[0]] = root[pair[1]];
    if (hand_ != Hand_Right) out.bones[pair[0]].rotation = root[pair[1]].rotation * Quat{1, 0, 0, 0};
  }

  out.trigger = out.curl[kIndex];
  out.grip = (out.curl[kMiddle] + out.curl[kRing] + out.curl[kPinky]) / 3;
  return out;
}

}  // namespace skeleton
}  // namespace ZEMBRA
