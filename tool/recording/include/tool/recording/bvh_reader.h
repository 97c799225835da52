// Reads a BVH motion file: its hierarchy (any number of roots, joints with
// position and rotation channels, End Sites) and its motion. Pure: text in,
// a parsed file or the line and reason of the first thing it cannot read.
// A truncated or malformed file is refused, never half read.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace ZEMBRA {
namespace recording {

enum class BvhChannel { Xposition, Yposition, Zposition, Xrotation, Yrotation, Zrotation };

struct BvhJoint {
  std::string name;  // "End Site" for an end site
  int parent = -1;   // index into BvhFile::joints; -1 for a root
  std::array<double, 3> offset = {0, 0, 0};
  std::vector<BvhChannel> channels;  // none for an end site
  int firstChannel = 0;              // index of its first value in a frame
  bool endSite = false;
};

struct BvhFile {
  std::vector<BvhJoint> joints;  // parents before children, in file order
  int channelCount = 0;
  int frameCount = 0;
  double frameTime = 0;
  std::vector<double> values;  // frameCount * channelCount, frame by frame
  double Value(int frame, int channel) const { return values[size_t(frame) * size_t(channelCount) + size_t(channel)]; }
};

struct BvhParseResult {
  bool ok = false;
  BvhFile file;
  int errorLine = 0;  // 1-based line of the problem
  std::string error;  // what is wrong there
};

// Limits that keep a hostile file from taking unbounded memory.
constexpr int kMaxBvhJoints = 10000;
constexpr size_t kMaxBvhValues = size_t(1) << 28;

BvhParseResult ParseBvh(std::string_view text);

}  // namespace recording
}  // namespace ZEMBRA
