#include "sim/sensor_encoding.h"

#include <cmath>

namespace ZEMBRA {
namespace sim {

namespace {

const double kK = std::sqrt(0.5);

// The driver's constants are single precision; the same float values are
// used here so the encoding targets exactly what the driver multiplies by.
constexpr QuatD kRightReference = {-0.49673f, -0.409576f, 0.286788f, 0.709406f};
constexpr QuatD kRightCorrection = {-0.015134413f, 0.1729864f, -0.08583163f, 0.98105586f};
constexpr QuatD kLeftReference = {0.49673f, 0.409576f, 0.286788f, 0.709406f};
constexpr QuatD kLeftCorrection = {0.015134413f, -0.1729864f, -0.08583163f, 0.98105586f};

protocol::WireQuat ToWire(const QuatD& q) { return {float(q.x), float(q.y), float(q.z), float(q.w)}; }

}  // namespace

QuatD HandFrameFromSensor(const QuatD& s) {
  return {-(s.y + s.w) * kK, (s.w - s.y) * kK, (s.z - s.x) * kK, -(s.x + s.z) * kK};
}

QuatD SensorFromHandFrame(const QuatD& j) {
  return {-(j.z + j.w) * kK, -(j.x + j.y) * kK, (j.z - j.w) * kK, (j.y - j.x) * kK};
}

QuatD ThumbReference(HandType hand) { return hand == Hand_Right ? kRightReference : kLeftReference; }

QuatD ThumbCorrection(HandType hand) { return hand == Hand_Right ? kRightCorrection : kLeftCorrection; }

SensorQuats EncodeSensors(const HandFrame& frame, HandType hand) {
  SensorQuats sensors;
  const QuatD& X = frame.wrist;
  for (int i = 0; i < kThumb; ++i) {
    const QuatD joint = Mul(Mul(X, RotYD(frame.spread[size_t(i)])), RotZD(-frame.bend[size_t(i)]));
    sensors[size_t(i)] = ToWire(SensorFromHandFrame(joint));
  }
  const QuatD thumbWanted =
      Mul(Mul(Mul(X, ThumbReference(hand)), RotZD(-frame.bend[kThumb])), RotYD(frame.spread[kThumb]));
  // The driver normalises every decoded record, so only the direction of
  // the raw thumb matters; normalising keeps the wire values tidy.
  const QuatD thumbRaw = Normalised(Mul(thumbWanted, Inverse(ThumbCorrection(hand))));
  sensors[kThumb] = ToWire(SensorFromHandFrame(thumbRaw));
  sensors[5] = ToWire(SensorFromHandFrame(X));
  return sensors;
}

}  // namespace sim
}  // namespace ZEMBRA
