// What the C++ side makes of the same packets, for the Python module's
// tests: the driver's pose engine on the simulator's bursts, and the
// project's BVH reader on a file.
//
//   pose_reference poses <left|right> <rate> <moving|open|fist>
//     reads burst sequence numbers from standard input, one a line, and
//     prints for each the pose the driver's engine computes for that burst
//     (having processed every burst before it, as a driver streaming from
//     the start has): 64 joint components (x, y, z, w of each joint), the
//     5 finger values (0 pinky ... 4 thumb), then the 48 BVH values of the
//     pose's hand as the recording code writes them; exactly, in decimal.
//   pose_reference bvh <file>
//     reads the file with the project's BVH reader and prints "frames N
//     channels C frame_time T", then one line of values per frame; or the
//     reader's complaint, exiting with 1.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "driver/pose/pose_engine.h"
#include "sim/glove_model.h"
#include "sim/packet_builder.h"
#include "sim/sensor_encoding.h"
#include "tool/recording/bvh_reader.h"
#include "tool/recording/bvh_writer.h"

namespace {

using namespace ZEMBRA;

int Usage() {
  std::fprintf(stderr,
               "usage: pose_reference poses <left|right> <rate> <moving|open|fist>\n"
               "       pose_reference bvh <file>\n");
  return 2;
}

struct Computed {
  Pose pose{};
  double fingers[5] = {};
};

int Poses(const std::string& handName, int rate, const std::string& motionName) {
  const HandType hand = handName == "right" ? Hand_Right : Hand_Left;
  const sim::HandMotion motion = motionName == "open"   ? sim::HandMotion::Open
                                 : motionName == "fist" ? sim::HandMotion::Fist
                                                        : sim::HandMotion::Moving;
  std::vector<uint64_t> wanted;
  uint64_t sequence = 0;
  while (std::cin >> sequence) wanted.push_back(sequence);
  std::map<uint64_t, Computed> computed;
  for (uint64_t n : wanted) computed[n];

  const sim::GloveModel model(hand, motion);
  pose::PoseEngine engine;
  engine.SetHand(hand);
  const uint64_t last = computed.empty() ? 0 : computed.rbegin()->first;
  for (uint64_t n = 0; !computed.empty() && n <= last; ++n) {
    const sim::Burst burst =
        sim::BuildBurst(sim::EncodeSensors(model.At(double(n) / rate), hand), sim::StatusForBurst(n));
    Pose pose{};
    if (engine.ProcessPacket(burst.data(), burst.size(), pose) != pose::PoseEngine::Outcome::Pose) continue;
    const auto at = computed.find(n);
    if (at == computed.end()) continue;
    at->second.pose = pose;
    for (int i = 0; i < 5; ++i) at->second.fingers[i] = double(engine.FingerValue(i));
  }
  for (uint64_t n : wanted) {
    const Computed& c = computed[n];
    for (const Quat& q : c.pose.joints) std::printf("%.9g %.9g %.9g %.9g ", q.x, q.y, q.z, q.w);
    for (double f : c.fingers) std::printf("%.17g ", f);
    double bvh[recording::kChannelsPerHand];
    recording::BvhFrameHalfValues(c.pose, hand, bvh);
    for (double v : bvh) std::printf("%.17g ", v);
    std::printf("\n");
  }
  return 0;
}

int Bvh(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  const recording::BvhParseResult parsed = recording::ParseBvh(text.str());
  if (!parsed.ok) {
    std::printf("error line %d: %s\n", parsed.errorLine, parsed.error.c_str());
    return 1;
  }
  const recording::BvhFile& file = parsed.file;
  std::printf("frames %d channels %d frame_time %.17g\n", file.frameCount, file.channelCount, file.frameTime);
  for (int frame = 0; frame < file.frameCount; ++frame) {
    for (int channel = 0; channel < file.channelCount; ++channel) std::printf("%.17g ", file.Value(frame, channel));
    std::printf("\n");
  }
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 4 && args[0] == "poses") return Poses(args[1], std::atoi(args[2].c_str()), args[3]);
  if (args.size() == 2 && args[0] == "bvh") return Bvh(args[1]);
  return Usage();
}
