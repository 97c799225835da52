// Arbitrary bytes into the recording core. The first half becomes frames
// (any floats, NaN and infinity included, any hand value) that the BVH
// writer turns into text, which must read back as a file of the promised
// shape with every value finite; all the bytes also go to the BVH reader as
// a file, which must refuse or read it without a crash.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tool/recording/bvh_pose.h"
#include "tool/recording/bvh_reader.h"
#include "tool/recording/bvh_writer.h"

namespace {

using namespace ZEMBRA;

void Require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "broken rule: %s\n", what);
  std::abort();
}

// A skeleton with the 16 joints of each hand in a chain, enough for the
// reader to take the writer's 96 values a frame.
std::string Header() {
  std::string text = "HIERARCHY\nROOT Hands\n{\nOFFSET 0 0 0\nCHANNELS 0\n";
  for (int hand = 0; hand < 2; ++hand) {
    for (int j = 0; j < Joint_Count; ++j)
      text += "JOINT J\n{\nOFFSET 0 0 1\nCHANNELS 3 Zrotation Yrotation Xrotation\n";
    text += "End Site\n{\nOFFSET 0 0 1\n}\n";
    for (int j = 0; j < Joint_Count; ++j) text += "}\n";
  }
  return text + "}\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kPoseBytes = Joint_Count * 4 * sizeof(float) + 1;
  std::vector<Pose> hands[2];
  for (size_t at = 0; at + kPoseBytes <= size / 2; at += kPoseBytes) {
    Pose pose{};
    std::memcpy(pose.joints, data + at, Joint_Count * 4 * sizeof(float));
    const uint8_t tag = data[at + kPoseBytes - 1];
    pose.type = HandType(tag % 5);
    hands[tag & 1].push_back(pose);
  }
  static const std::string header = Header();
  const std::string text = recording::BuildBvhText(header, hands[0], hands[1]);
  const recording::BvhParseResult back = recording::ParseBvh(text);
  Require(back.ok, "the writer's text reads back");
  Require(back.file.channelCount == 2 * recording::kChannelsPerHand, "96 channels");
  Require(size_t(back.file.frameCount) == std::min(hands[0].size(), hands[1].size()), "frame count");
  for (double v : back.file.values) Require(std::isfinite(v), "finite values");

  const recording::BvhParseResult any =
      recording::ParseBvh(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!any.ok) Require(any.errorLine >= 1 && !any.error.empty(), "a refusal says where and why");
  // A file that reads is posed, as the viewer poses it, at its first and
  // last frames.
  if (any.ok && any.file.frameCount > 0) {
    const recording::BvhFile& file = any.file;
    for (int frame : {0, file.frameCount - 1}) {
      const double* values = file.values.data() + size_t(frame) * size_t(file.channelCount);
      Require(recording::JointPositions(file, values).size() == file.joints.size(), "a position per joint");
      for (const recording::BvhJoint& joint : file.joints) {
        const double turn = recording::JointTurn(joint, values);
        Require(!(turn < 0 || turn > 180), "a turn within half a circle, or not a number");
      }
    }
  }
  return 0;
}
