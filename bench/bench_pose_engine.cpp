// Time of PoseEngine::ProcessPacket per read, for the three read sizes the
// receiver sends. The reads are built before timing from a slowly wandering
// hand, so every iteration decodes fresh bytes and computes a full pose.
// Each case runs in several repetitions and reports mean, median and spread.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "driver/pose/pose_engine.h"
#include "tests/support/pose_fixtures.h"

namespace {

using ZEMBRA::Pose;
using ZEMBRA::pose::PoseEngine;
using namespace ZEMBRA::testsupport;

constexpr size_t kReads = 4096;  // a power of two: the index wraps with a mask

const std::vector<std::vector<uint8_t>>& Reads(Burst kind) {
  static const std::vector<std::vector<uint8_t>> all[4] = {
      WanderingBursts(Burst::UU, kReads, 1), WanderingBursts(Burst::PU, kReads, 2),
      WanderingBursts(Burst::UUPU, kReads, 3), WanderingBursts(Burst::PUUU, kReads, 4)};
  return all[int(kind)];
}

void Run(benchmark::State& state, Burst kind, bool advanced) {
  const auto& reads = Reads(kind);
  PoseEngine engine;
  engine.SetHand(ZEMBRA::Hand_Left);
  engine.SetAdvancedMode(advanced);
  Pose pose{};
  size_t i = 0, poses = 0;
  for (auto _ : state) {
    const auto& read = reads[i++ & (kReads - 1)];
    poses += engine.ProcessPacket(read.data(), read.size(), pose) == PoseEngine::Outcome::Pose;
    benchmark::DoNotOptimize(pose);
  }
  if (poses != size_t(state.iterations())) state.SkipWithError("a read produced no pose");
  state.SetItemsProcessed(int64_t(state.iterations()));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(reads[0].size()));
}

void BM_Read133_UUFirst(benchmark::State& state) { Run(state, Burst::UUPU, false); }
void BM_Read133_PUFirst(benchmark::State& state) { Run(state, Burst::PUUU, false); }
void BM_Read133_Advanced(benchmark::State& state) { Run(state, Burst::UUPU, true); }
void BM_Read63(benchmark::State& state) { Run(state, Burst::UU, false); }
void BM_Read70(benchmark::State& state) { Run(state, Burst::PU, false); }

void BM_RejectedRead(benchmark::State& state) {
  std::vector<uint8_t> read = Reads(Burst::UUPU)[0];
  read[0] = 'X';
  PoseEngine engine;
  Pose pose{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(engine.ProcessPacket(read.data(), read.size(), pose));
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
}

#define ZEMBRA_POSE_BENCH(fn) BENCHMARK(fn)->Repetitions(9)->ReportAggregatesOnly(true)
ZEMBRA_POSE_BENCH(BM_Read133_UUFirst);
ZEMBRA_POSE_BENCH(BM_Read133_PUFirst);
ZEMBRA_POSE_BENCH(BM_Read133_Advanced);
ZEMBRA_POSE_BENCH(BM_Read63);
ZEMBRA_POSE_BENCH(BM_Read70);
ZEMBRA_POSE_BENCH(BM_RejectedRead);

}  // namespace

BENCHMARK_MAIN();
