#include "stream/vmc_bones.h"

#include <cmath>

#include "protocol/hand_model.h"

namespace ZEMBRA {
namespace stream {

namespace {

Quat Mul(const Quat& a, const Quat& b) {
  return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y + a.y * b.w + a.z * b.x - a.x * b.z,
          a.w * b.z + a.z * b.w + a.x * b.y - a.y * b.x, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}
Quat Conj(const Quat& q) { return {-q.x, -q.y, -q.z, q.w}; }
Quat Unit(const Quat& q) {
  const float n = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
  if (!(n > 0) || !std::isfinite(n)) return {0, 0, 0, 1};
  return {q.x / n, q.y / n, q.z / n, q.w / n};
}
Vec3f Rotate(const Quat& q, const Vec3f& v) {
  const Quat r = Mul(Mul(q, Quat{v.x, v.y, v.z, 0}), Conj(q));
  return {r.x, r.y, r.z};
}

// From the engine's frame to the T-pose hand's, for a rotation: the
// reflection -I on the left hand, diag(1, -1, 1) on the right.
Quat ToHumanoid(const Quat& q_engine, HandType hand) {
  if (hand != Hand_Right) return q_engine;
  return {-q_engine.x, q_engine.y, -q_engine.z, q_engine.w};
}

constexpr const char* kLeftNames[kFingerBones] = {"LeftThumbProximal",  "LeftThumbIntermediate",  "LeftThumbDistal",
                                                  "LeftIndexProximal",  "LeftIndexIntermediate",  "LeftIndexDistal",
                                                  "LeftMiddleProximal", "LeftMiddleIntermediate", "LeftMiddleDistal",
                                                  "LeftRingProximal",   "LeftRingIntermediate",   "LeftRingDistal",
                                                  "LeftLittleProximal", "LeftLittleIntermediate", "LeftLittleDistal"};
constexpr const char* kRightNames[kFingerBones] = {
    "RightThumbProximal",     "RightThumbIntermediate",  "RightThumbDistal",      "RightIndexProximal",
    "RightIndexIntermediate", "RightIndexDistal",        "RightMiddleProximal",   "RightMiddleIntermediate",
    "RightMiddleDistal",      "RightRingProximal",       "RightRingIntermediate", "RightRingDistal",
    "RightLittleProximal",    "RightLittleIntermediate", "RightLittleDistal"};

// The driver joints of the bones, in bone order.
constexpr int kJoints[kFingerBones] = {Joint_ThumbProximal,  Joint_ThumbIntermediate,  Joint_ThumbDistal,
                                       Joint_IndexProximal,  Joint_IndexIntermediate,  Joint_IndexDistal,
                                       Joint_MiddleProximal, Joint_MiddleIntermediate, Joint_MiddleDistal,
                                       Joint_RingProximal,   Joint_RingIntermediate,   Joint_RingDistal,
                                       Joint_PinkyProximal,  Joint_PinkyIntermediate,  Joint_PinkyDistal};

// The recording skeleton's left hand (tool/record/bones.txt), centimetres,
// in the file's frame: each joint's offset from its parent, the thumb's
// second and third joints in the thumb's rest frame.
constexpr Vec3f kLeftOffsetsCm[kFingerBones] = {
    {2.5f, -0.8f, 2.5f}, {2.47f, 3.24f, -1.92f}, {1.85f, 1.72f, -1.96f},  // thumb
    {9.0f, 0.0f, 2.4f},  {4.0f, 0.0f, 0.0f},     {2.4f, 0.0f, 0.0f},      // index
    {9.2f, 0.0f, 0.6f},  {4.4f, 0.0f, 0.0f},     {2.8f, 0.0f, 0.0f},      // middle
    {8.8f, 0.0f, -1.2f}, {4.1f, 0.0f, 0.0f},     {2.7f, 0.0f, 0.0f},      // ring
    {8.0f, 0.0f, -2.9f}, {3.2f, 0.0f, 0.0f},     {2.0f, 0.0f, 0.0f},      // little
};

constexpr float kForearmMetres = 0.25f;

bool IsThumb(int bone) { return bone < 3; }

Quat ThumbRest(HandType hand) {
  const protocol::QuatConstant& r = hand == Hand_Right ? protocol::kRightThumbReference : protocol::kLeftThumbReference;
  return {r.x, r.y, r.z, r.w};
}

// The rest offsets in the T-pose hand's frame, metres. The file's frame is
// the engine's turned half a turn about X, and the left hand's T-pose frame
// is the engine's through -I, so the file's with X mirrored; the right hand
// is the left one mirrored through X = 0.
std::array<Vec3f, kFingerBones> RestOffsets(HandType hand) {
  // The thumb's rest rotation in the file's frame: (x, -y, -z, w).
  const Quat rest = ThumbRest(Hand_Left);
  const Quat restInFile{rest.x, -rest.y, -rest.z, rest.w};
  std::array<Vec3f, kFingerBones> out;
  for (int b = 0; b < kFingerBones; ++b) {
    Vec3f v = kLeftOffsetsCm[b];
    if (IsThumb(b) && b > 0) v = Rotate(restInFile, v);
    out[size_t(b)] = {-v.x / 100, v.y / 100, v.z / 100};
    if (hand == Hand_Right) out[size_t(b)].x = -out[size_t(b)].x;
  }
  return out;
}

}  // namespace

int BoneJoint(int bone) { return kJoints[bone]; }
int BoneParentJoint(int bone) { return protocol::kJointParent[kJoints[bone]]; }

HandBones FingerBones(const Pose& pose, HandType hand) {
  if (hand != Hand_Right) hand = Hand_Left;
  static const std::array<Vec3f, kFingerBones> kOffsets[2] = {RestOffsets(Hand_Left), RestOffsets(Hand_Right)};
  const std::array<Vec3f, kFingerBones>& offsets = kOffsets[hand == Hand_Right ? 1 : 0];
  const Quat rest = ThumbRest(hand);
  const Quat identity{0, 0, 0, 1};
  HandBones bones;
  for (int b = 0; b < kFingerBones; ++b) {
    const int joint = kJoints[b];
    const int parent = protocol::kJointParent[joint];
    // Each bone measured from its rest: the thumb's rest is its reference
    // rotation on the wrist, every other bone's the wrist's own rotation.
    const Quat& restOfParent = IsThumb(b) && parent != Joint_Wrist ? rest : identity;
    const Quat& restOfBone = IsThumb(b) ? rest : identity;
    const Quat q_parent_bone = Mul(Conj(pose.joints[parent]), pose.joints[joint]);
    const Quat local = Unit(Mul(Mul(restOfParent, q_parent_bone), Conj(restOfBone)));
    bones[size_t(b)] = {hand == Hand_Right ? kRightNames[b] : kLeftNames[b], offsets[size_t(b)],
                        ToHumanoid(local, hand)};
  }
  return bones;
}

Bone WristBone(const Pose& pose, const Pose& reference, HandType hand) {
  if (hand != Hand_Right) hand = Hand_Left;
  const Quat local = Unit(Mul(Conj(reference.joints[Joint_Wrist]), pose.joints[Joint_Wrist]));
  Bone bone;
  bone.name = hand == Hand_Right ? "RightHand" : "LeftHand";
  bone.position = {hand == Hand_Right ? kForearmMetres : -kForearmMetres, 0, 0};
  bone.rotation = ToHumanoid(local, hand);
  return bone;
}

}  // namespace stream
}  // namespace ZEMBRA
