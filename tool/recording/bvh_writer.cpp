#include "tool/recording/bvh_writer.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "platform/file_io.h"
#include "protocol/hand_model.h"

namespace ZEMBRA {
namespace recording {

namespace {

constexpr double kPi = 3.141592653589793;

Quatd Multiply(const Quatd& a, const Quatd& b) {
  return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y + a.y * b.w + a.z * b.x - a.x * b.z,
          a.w * b.z + a.z * b.w + a.x * b.y - a.y * b.x, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

bool Finite(const Quatd& q) {
  return std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z) && std::isfinite(q.w);
}

void AppendNumber(double value, std::string& out) {
  char text[32];
  // + 0.0 turns -0 (atan2 of a negated zero component) into 0.
  const auto result = std::to_chars(text, text + sizeof text, value + 0.0, std::chars_format::general, 6);
  out.append(text, result.ptr);
}

}  // namespace

Quatd ToBvhRotation(const Quat& q, HandType hand) {
  const Quatd left{double(q.x), -double(q.y), -double(q.z), double(q.w)};
  if (hand != Hand_Right) return left;
  return Multiply(left, Quatd{0, 1, 0, 0});
}

Quatd RelativeRotation(const Quatd& parent, const Quatd& joint) {
  const double norm = parent.x * parent.x + parent.y * parent.y + parent.z * parent.z + parent.w * parent.w;
  Quatd inverse{0, 0, 0, 0};
  if (norm != 0.0) inverse = {-parent.x / norm, -parent.y / norm, -parent.z / norm, parent.w / norm};
  return Multiply(inverse, joint);
}

std::array<double, 3> ToEulerAngles(const Quatd& q) {
  if (!Finite(q)) return {0, 0, 0};
  const double x = std::atan2(2 * (q.w * q.x + q.y * q.z), 1 - 2 * (q.x * q.x + q.y * q.y));
  const double s = 2 * (q.w * q.y - q.x * q.z);
  const double y = std::fabs(s) >= 1 ? std::copysign(kPi / 2, s) : std::asin(s);
  const double z = std::atan2(2 * (q.w * q.z + q.x * q.y), 1 - 2 * (q.y * q.y + q.z * q.z));
  return {z * 180 / kPi, y * 180 / kPi, x * 180 / kPi};
}

std::string FormatNumber(double value) {
  std::string text;
  AppendNumber(value, text);
  return text;
}

namespace {

void AppendEuler(const Quatd& q, std::string& out) {
  const std::array<double, 3> zyx = ToEulerAngles(q);
  AppendNumber(zyx[0], out);
  out += ' ';
  AppendNumber(zyx[1], out);
  out += ' ';
  AppendNumber(zyx[2], out);
}

}  // namespace

std::string ToEulerText(const Quatd& q) {
  std::string text;
  AppendEuler(q, text);
  return text;
}

void WriteBvhFrameHalf(const Pose& pose, std::string& out) { WriteBvhFrameHalf(pose, pose.type, out); }

void BvhFrameHalfValues(const Pose& pose, HandType hand, double* out) {
  Quatd converted[Joint_Count];
  for (int joint = 0; joint < Joint_Count; ++joint) converted[joint] = ToBvhRotation(pose.joints[joint], hand);
  for (size_t position = 0; position < kBvhJointOrder.size(); ++position) {
    const int joint = kBvhJointOrder[position];
    const int parent = protocol::kJointParent[joint];
    const std::array<double, 3> zyx =
        ToEulerAngles(parent < 0 ? converted[joint] : RelativeRotation(converted[parent], converted[joint]));
    for (size_t axis = 0; axis < 3; ++axis) out[3 * position + axis] = zyx[axis];
  }
}

void WriteBvhFrameHalf(const Pose& pose, HandType hand, std::string& out) {
  double values[kChannelsPerHand];
  BvhFrameHalfValues(pose, hand, values);
  for (int i = 0; i < kChannelsPerHand; ++i) {
    if (i > 0) out += ' ';
    AppendNumber(values[i], out);
  }
}

std::string BuildBvhText(const std::string& header, const std::vector<Pose>& left, const std::vector<Pose>& right) {
  const size_t frames = std::min(left.size(), right.size());
  std::string text;
  // About 8 characters a value.
  text.reserve(header.size() + 64 + frames * 2 * kChannelsPerHand * 9);
  text += header;
  if (!text.empty() && text.back() != '\n') text += '\n';
  text += "MOTION\nFrames: ";
  text += std::to_string(frames);
  text += "\nFrame Time: ";
  text += kFrameTimeText;
  text += '\n';
  for (size_t i = 0; i < frames; ++i) {
    WriteBvhFrameHalf(left[i], Hand_Left, text);
    text += ' ';
    WriteBvhFrameHalf(right[i], Hand_Right, text);
    text += '\n';
  }
  return text;
}

std::string WriteTextFile(const std::string& path, const std::string& text) {
  const int why = platform::ReplaceFile(path, text);
  return why == 0 ? std::string() : std::strerror(why);
}

}  // namespace recording
}  // namespace ZEMBRA
