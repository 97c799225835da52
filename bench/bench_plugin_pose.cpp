// Time of the plug-in's PoseVariant::ProcessPacket per read, for the three
// read sizes the receiver sends, in both modes. The reads are built before
// timing from a slowly wandering hand, so every iteration decodes fresh
// bytes and computes a full pose. Each case runs in several repetitions and
// reports mean, median and spread.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "plugin/pose_variant.h"
#include "tests/support/pose_fixtures.h"

namespace {

using ZEMBRA_IMU::PoseVariant;
using namespace ZEMBRA::testsupport;

constexpr size_t kReads = 4096;  // a power of two: the index wraps with a mask

const std::vector<std::vector<uint8_t>>& Reads(Burst kind) {
  static const std::vector<std::vector<uint8_t>> all[4] = {
      WanderingBursts(Burst::UU, kReads, 1), WanderingBursts(Burst::PU, kReads, 2),
      WanderingBursts(Burst::UUPU, kReads, 3), WanderingBursts(Burst::PUUU, kReads, 4)};
  return all[int(kind)];
}

void Run(benchmark::State& state, Burst kind, bool advanced, int version) {
  const auto& reads = Reads(kind);
  PoseVariant engine(advanced, version);
  engine.SetHand(ZEMBRA_IMU::kHandLeft);
  float out[16][4];
  size_t i = 0, poses = 0;
  for (auto _ : state) {
    const auto& read = reads[i++ & (kReads - 1)];
    poses += engine.ProcessPacket(read.data(), read.size(), out) == PoseVariant::Outcome::Pose;
    benchmark::DoNotOptimize(out);
  }
  if (poses != size_t(state.iterations())) state.SkipWithError("a read produced no pose");
  state.SetItemsProcessed(int64_t(state.iterations()));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(reads[0].size()));
}

void BM_Read133_UUFirst(benchmark::State& state) { Run(state, Burst::UUPU, false, 0); }
void BM_Read133_PUFirst(benchmark::State& state) { Run(state, Burst::PUUU, false, 0); }
void BM_Read133_Advanced(benchmark::State& state) { Run(state, Burst::UUPU, true, 0); }
void BM_Read133_Version2(benchmark::State& state) { Run(state, Burst::UUPU, true, 2); }
void BM_Read63(benchmark::State& state) { Run(state, Burst::UU, false, 0); }
void BM_Read70(benchmark::State& state) { Run(state, Burst::PU, false, 0); }

void BM_RejectedRead(benchmark::State& state) {
  std::vector<uint8_t> read = Reads(Burst::UUPU)[0];
  read[0] = 'X';
  PoseVariant engine(false, 0);
  float out[16][4];
  for (auto _ : state) {
    benchmark::DoNotOptimize(engine.ProcessPacket(read.data(), read.size(), out));
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
}

#define ZEMBRA_PLUGIN_POSE_BENCH(fn) BENCHMARK(fn)->Repetitions(9)->ReportAggregatesOnly(true)
ZEMBRA_PLUGIN_POSE_BENCH(BM_Read133_UUFirst);
ZEMBRA_PLUGIN_POSE_BENCH(BM_Read133_PUFirst);
ZEMBRA_PLUGIN_POSE_BENCH(BM_Read133_Advanced);
ZEMBRA_PLUGIN_POSE_BENCH(BM_Read133_Version2);
ZEMBRA_PLUGIN_POSE_BENCH(BM_Read63);
ZEMBRA_PLUGIN_POSE_BENCH(BM_Read70);
ZEMBRA_PLUGIN_POSE_BENCH(BM_RejectedRead);

}  // namespace

BENCHMARK_MAIN();
