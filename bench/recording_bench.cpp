// Recording figures: writing a 10-minute recording (18,000 frames a hand)
// from frames to a BVH file on disk, and the memory that two hands' frame
// grids hold after an hour at 200 poses a second (heap in use, from
// mallinfo2, before and after).
//   bench_recording [output folder]
#include <malloc.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tool/recording/bvh_writer.h"
#include "tool/recording/frame_grid.h"

using namespace ZEMBRA;

namespace {

Pose Moving(HandType hand, int i) {
  Pose pose{};
  for (int j = 0; j < Joint_Count; ++j) {
    const float a = 0.001f * float(i) + 0.1f * float(j);
    pose.joints[j] = {std::sin(a) * 0.3f, std::cos(a) * 0.2f, std::sin(2 * a) * 0.1f, 0.9f};
  }
  pose.type = hand;
  return pose;
}

size_t HeapInUse() { return mallinfo2().uordblks; }

}  // namespace

int main(int argc, char* argv[]) {
  const std::string folder = argc > 1 ? argv[1] : "/tmp";
  constexpr int kFrames = 18000;  // ten minutes at 30 frames a second
  std::vector<Pose> left, right;
  for (int i = 0; i < kFrames; ++i) {
    left.push_back(Moving(Hand_Left, i));
    right.push_back(Moving(Hand_Right, i + 7));
  }
  const std::string header = "HIERARCHY\n";  // the shipped skeleton is 10 kB; its size does not matter here
  const std::string path = folder + "/bench_recording.bvh";
  double best = 1e9;
  for (int run = 0; run < 3; ++run) {
    const auto start = std::chrono::steady_clock::now();
    const std::string text = recording::BuildBvhText(header, left, right);
    const std::string error = recording::WriteTextFile(path, text);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!error.empty()) {
      std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
      return 1;
    }
    best = std::min(best, took);
    std::printf("write 10-minute recording (%d frames a hand, %.1f MB): %.3f s\n", kFrames, text.size() / 1e6, took);
  }
  std::remove(path.c_str());
  std::printf("best of 3: %.3f s\n", best);

  // One hour at 200 poses a second for each hand, on the 1/30 s grid.
  const size_t before = HeapInUse();
  {
    recording::FrameGrid grids[2];
    for (auto& grid : grids) grid.Reset(0);
    const Pose pose = Moving(Hand_Left, 0);
    constexpr int64_t kStep = 5000000;  // 5 ms
    for (int64_t t = 0; t < 3600LL * 1000000000; t += kStep) {
      grids[0].Add(t, pose);
      grids[1].Add(t + 1000000, pose);
    }
    const size_t held = HeapInUse() - before;
    std::printf("one hour held by both hands' grids: %zu + %zu frames, %.1f MB\n", grids[0].size(), grids[1].size(),
                held / 1e6);
  }
  return 0;
}
