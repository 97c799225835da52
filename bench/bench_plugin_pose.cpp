// Time of the plug-in's PoseVariant::ProcessPacket per read, for the three
// read sizes the receiver sends, in both modes and both hardware frames.
#include <vector>

#include "bench/pose_bench.h"
#include "plugin/pose_variant.h"

namespace {

using ZEMBRA::bench::RunReads;
using ZEMBRA::plugin_pose::PoseVariant;
using ZEMBRA::testsupport::Burst;

void Run(benchmark::State& state, Burst kind, bool advanced, int version) {
  PoseVariant engine(advanced, version);
  engine.SetHand(ZEMBRA::protocol::kPluginHandLeft);
  float out[16][4];
  RunReads(state, kind, [&](const std::vector<uint8_t>& read) {
    const bool pose = engine.ProcessPacket(read.data(), read.size(), out) == PoseVariant::Outcome::Pose;
    benchmark::DoNotOptimize(out);
    return pose;
  });
}

void BM_Read133_UUFirst(benchmark::State& state) { Run(state, Burst::UUPU, false, 0); }
void BM_Read133_PUFirst(benchmark::State& state) { Run(state, Burst::PUUU, false, 0); }
void BM_Read133_Advanced(benchmark::State& state) { Run(state, Burst::UUPU, true, 0); }
void BM_Read133_Version2(benchmark::State& state) { Run(state, Burst::UUPU, true, 2); }
void BM_Read63(benchmark::State& state) { Run(state, Burst::UU, false, 0); }
void BM_Read70(benchmark::State& state) { Run(state, Burst::PU, false, 0); }

void BM_RejectedRead(benchmark::State& state) {
  PoseVariant engine(false, 0);
  float out[16][4];
  ZEMBRA::bench::RunRejected(
      state, [&](const std::vector<uint8_t>& read) { return engine.ProcessPacket(read.data(), read.size(), out); });
}

ZEMBRA_POSE_BENCH(BM_Read133_UUFirst);
ZEMBRA_POSE_BENCH(BM_Read133_PUFirst);
ZEMBRA_POSE_BENCH(BM_Read133_Advanced);
ZEMBRA_POSE_BENCH(BM_Read133_Version2);
ZEMBRA_POSE_BENCH(BM_Read63);
ZEMBRA_POSE_BENCH(BM_Read70);
ZEMBRA_POSE_BENCH(BM_RejectedRead);

}  // namespace

BENCHMARK_MAIN();
