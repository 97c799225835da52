// Time of the driver's PoseEngine::ProcessPacket per read, for the three
// read sizes the receiver sends, in both modes.
#include <vector>

#include "bench/pose_bench.h"
#include "driver/pose/pose_engine.h"

namespace {

using ZEMBRA::Pose;
using ZEMBRA::bench::RunReads;
using ZEMBRA::pose::PoseEngine;
using ZEMBRA::testsupport::Burst;

void Run(benchmark::State& state, Burst kind, bool advanced) {
  PoseEngine engine;
  engine.SetHand(ZEMBRA::Hand_Left);
  engine.SetAdvancedMode(advanced);
  Pose pose{};
  RunReads(state, kind, [&](const std::vector<uint8_t>& read) {
    const bool made = engine.ProcessPacket(read.data(), read.size(), pose) == PoseEngine::Outcome::Pose;
    benchmark::DoNotOptimize(pose);
    return made;
  });
}

void BM_Read133_UUFirst(benchmark::State& state) { Run(state, Burst::UUPU, false); }
void BM_Read133_PUFirst(benchmark::State& state) { Run(state, Burst::PUUU, false); }
void BM_Read133_Advanced(benchmark::State& state) { Run(state, Burst::UUPU, true); }
void BM_Read63(benchmark::State& state) { Run(state, Burst::UU, false); }
void BM_Read70(benchmark::State& state) { Run(state, Burst::PU, false); }

void BM_RejectedRead(benchmark::State& state) {
  PoseEngine engine;
  Pose pose{};
  ZEMBRA::bench::RunRejected(
      state, [&](const std::vector<uint8_t>& read) { return engine.ProcessPacket(read.data(), read.size(), pose); });
}

ZEMBRA_POSE_BENCH(BM_Read133_UUFirst);
ZEMBRA_POSE_BENCH(BM_Read133_PUFirst);
ZEMBRA_POSE_BENCH(BM_Read133_Advanced);
ZEMBRA_POSE_BENCH(BM_Read63);
ZEMBRA_POSE_BENCH(BM_Read70);
ZEMBRA_POSE_BENCH(BM_RejectedRead);

}  // namespace

BENCHMARK_MAIN();
