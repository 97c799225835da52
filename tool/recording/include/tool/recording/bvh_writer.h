// Both hands' recorded frames as a BVH motion file: the skeleton header
// text, then the MOTION section with one line per frame. Pure: frames in,
// text out; nothing here knows about Qt, files or threads (but for
// WriteTextFile, which puts finished text on disk).
//
// Rotations. A stored joint rotation is (x, y, z, w), absolute in the pose
// engine's world frame. ToBvhRotation turns it into the BVH skeleton's
// frame for its hand; every joint but the wrist is then written relative to
// its parent (inverse(parent) * joint), and each as Z, Y, X Euler angles in
// degrees.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "zembra/Pose.h"

namespace ZEMBRA {
namespace recording {

// Double-precision quaternion, (x, y, z, w).
struct Quatd {
  double x = 0, y = 0, z = 0, w = 1;
};

// The channel order of one hand: joint indices of Pose::joints, wrist first,
// then index, middle, ring, pinky and thumb, each proximal to distal.
constexpr std::array<int, Joint_Count> kBvhJointOrder = {5, 9, 3, 14, 8, 2, 13, 7, 1, 12, 6, 0, 11, 15, 10, 4};
constexpr int kChannelsPerHand = 3 * Joint_Count;
// The file's frame time: frames are stored on a grid of 1/30 s.
constexpr const char* kFrameTimeText = "0.033333";

// Left hand (x, -y, -z, w); right hand the left-hand result times the unit
// quaternion (0, 1, 0, 0). Any other hand value is taken as the left hand.
Quatd ToBvhRotation(const Quat& q, HandType hand);

// inverse(a) * b with inverse(q) = conjugate(q) / |q|^2; a zero quaternion
// inverts to zero. Nothing is normalised.
Quatd RelativeRotation(const Quatd& parent, const Quatd& joint);

// "Z Y X": the three Euler angles in degrees, each with 6 significant digits
// in the shorter of fixed and exponent notation, trailing zeros removed, with
// a decimal point whatever the process's locale ("-12.3457", "90", "1e-05"),
// as Qt's QString::number(value, 'g', 6) writes them; a negative zero is
// written "0". A rotation with a component that is not finite is written
// "0 0 0": a BVH reader cannot take "nan" or "inf".
std::string ToEulerText(const Quatd& q);

// The same three angles as numbers: Z, Y, X in degrees; (0, 0, 0) for a
// rotation with a component that is not finite.
std::array<double, 3> ToEulerAngles(const Quatd& q);

// One number as ToEulerText writes it (6 significant digits, 'g' style).
std::string FormatNumber(double value);

// The 48 values of one hand in one frame, as numbers: what
// WriteBvhFrameHalf writes, before it is formatted. out holds
// kChannelsPerHand values.
void BvhFrameHalfValues(const Pose& pose, HandType hand, double* out);

// The 48 values of one hand in one frame, appended to out, separated by
// single spaces, without a leading or trailing space. The rotations are
// converted for `hand`, the skeleton half they are written to.
void WriteBvhFrameHalf(const Pose& pose, HandType hand, std::string& out);
// The same for the pose's own hand (a hand value that is neither left nor
// right is taken as the left hand, as ToBvhRotation does).
void WriteBvhFrameHalf(const Pose& pose, std::string& out);

// The whole file: header (expected to end with a line end; one is added
// when it does not), "MOTION", the frame count N = the shorter list's
// length, the frame time, then N lines of left then right values. Each
// list is converted for the hand whose half of the line it fills, whatever
// its frames' `type` says: the left half of a line always drives the
// skeleton's left hand, and a frame with a broken hand value must not turn
// the right hand half a turn.
std::string BuildBvhText(const std::string& header, const std::vector<Pose>& left, const std::vector<Pose>& right);

// Writes text to the file at path, replacing it. Returns an empty string,
// or why the file was not written completely (it could not be opened, a
// write failed, or closing reported an error).
std::string WriteTextFile(const std::string& path, const std::string& text);

}  // namespace recording
}  // namespace ZEMBRA
