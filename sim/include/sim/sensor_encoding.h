// Turns a hand frame into the six raw sensor orientations a glove would
// send, such that the driver's decoding gives back the frame's bends (with
// the sign the driver reports them in, below).
//
// The driver maps a raw sensor s = (x, y, z, w) into the hand-model frame by
// F(s) = (-(y + w)k, (w - y)k, (z - x)k, -(x + z)k), k = sqrt(1/2). Its
// inverse takes a wanted joint J = (a, b, c, d) back to
// s = (-(c + d)k, -(a + b)k, (c - d)k, (b - a)k).
//
// The engine bends a finger by a turn about Z relative to the wrist, and a
// curl (flexion) is a positive turn: the engine curls a distal joint further
// only while the finger is turned that way, and fades the finger's spread
// as the turn grows towards 160 degrees. Long finger i therefore becomes
// J_i = X * RotY(spread_i) * RotZ(bend_i) with X the wrist, and the driver's
// bend, the Z angle of conj(J_i) * X, reads -bend_i in basic and advanced
// mode alike, since both modes rebuild the finger from the same Z angle.
// The thumb is measured against V = X * R_hand after the driver multiplies
// the decoded thumb by a per-hand correction C_hand, so the raw thumb is
// chosen with F(s4) * C_hand = V * RotZ(bend) * RotY(twist); the driver
// reads its bend as -bend too.
#pragma once

#include <array>

#include "protocol/hand_model.h"
#include "protocol/packet.h"
#include "sim/glove_model.h"
#include "sim/rotation.h"

namespace ZEMBRA {
namespace sim {

// Indexed by sensor: 0 pinky, 1 ring, 2 middle, 3 index, 4 thumb, 5 wrist.
using SensorQuats = std::array<protocol::WireQuat, protocol::kSensorCount>;

QuatD HandFrameFromSensor(const QuatD& sensor);
QuatD SensorFromHandFrame(const QuatD& joint);

// Thumb reference (relative to the wrist) and thumb correction the driver
// applies for a left or right glove.
QuatD ThumbReference(int32_t hand);
QuatD ThumbCorrection(int32_t hand);

// hand must be protocol::kLeftHand or protocol::kRightHand.
SensorQuats EncodeSensors(const HandFrame& frame, int32_t hand);

}  // namespace sim
}  // namespace ZEMBRA
