#include "sim/sensor_encoding.h"

#include <cmath>

namespace ZEMBRA {
namespace sim {

namespace {

const double kK = std::sqrt(0.5);

// The driver's constants are single precision; the same float values are
// used here so the encoding targets exactly what the driver multiplies by.
constexpr QuatD Of(const protocol::QuatConstant& q) { return {q.x, q.y, q.z, q.w}; }
constexpr QuatD kRightReference = Of(protocol::kRightThumbReference);
constexpr QuatD kRightCorrection = Of(protocol::kRightThumbCorrection);
constexpr QuatD kLeftReference = Of(protocol::kLeftThumbReference);
constexpr QuatD kLeftCorrection = Of(protocol::kLeftThumbCorrection);

protocol::WireQuat ToWire(const QuatD& q) { return {float(q.x), float(q.y), float(q.z), float(q.w)}; }

}  // namespace

QuatD HandFrameFromSensor(const QuatD& s) {
  return {-(s.y + s.w) * kK, (s.w - s.y) * kK, (s.z - s.x) * kK, -(s.x + s.z) * kK};
}

QuatD SensorFromHandFrame(const QuatD& j) {
  return {-(j.z + j.w) * kK, -(j.x + j.y) * kK, (j.z - j.w) * kK, (j.y - j.x) * kK};
}

QuatD ThumbReference(int32_t hand) { return hand == protocol::kRightHand ? kRightReference : kLeftReference; }

QuatD ThumbCorrection(int32_t hand) { return hand == protocol::kRightHand ? kRightCorrection : kLeftCorrection; }

SensorQuats EncodeSensors(const HandFrame& frame, int32_t hand) {
  SensorQuats sensors;
  const QuatD& X = frame.wrist;
  // A curl is a positive turn about the finger's Z relative to the wrist.
  for (int i = 0; i < kThumb; ++i) {
    const QuatD joint = Mul(Mul(X, RotYD(frame.spread[size_t(i)])), RotZD(frame.bend[size_t(i)]));
    sensors[size_t(i)] = ToWire(SensorFromHandFrame(joint));
  }
  // The thumb curls the same way about the Z of its rest frame V. Both
  // engines place the thumb's inner joints on the arc from V to the thumb at
  // shares that fall as its bend z (as the driver reads it) falls, the
  // intermediate joint at 0.75 + 0.0025 z in both. At z = -100 the last
  // joint carries half of the thumb's turn; at z = +100 none, the
  // intermediate joint being the thumb itself. So the last joint bends with
  // negative z and stays straight with positive z, as a long finger's last
  // joint curls only while z < 0: the thumb's curl is a positive turn too.
  const QuatD thumbWanted =
      Mul(Mul(Mul(X, ThumbReference(hand)), RotZD(frame.bend[kThumb])), RotYD(frame.spread[kThumb]));
  // The driver normalises every decoded record, so only the direction of
  // the raw thumb matters; normalising keeps the wire values tidy.
  const QuatD thumbRaw = Normalised(Mul(thumbWanted, Inverse(ThumbCorrection(hand))));
  sensors[kThumb] = ToWire(SensorFromHandFrame(thumbRaw));
  sensors[5] = ToWire(SensorFromHandFrame(X));
  return sensors;
}

}  // namespace sim
}  // namespace ZEMBRA
