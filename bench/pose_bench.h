// What the two pose-engine benchmarks share: reads built before timing from
// a slowly wandering hand (so every iteration decodes fresh bytes and
// computes a full pose), and the timing loops around an engine's
// ProcessPacket.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "tests/support/pose_fixtures.h"

namespace ZEMBRA {
namespace bench {

constexpr size_t kReads = 4096;  // a power of two: the index wraps with a mask

inline const std::vector<std::vector<uint8_t>>& Reads(testsupport::Burst kind) {
  using testsupport::Burst;
  static const std::vector<std::vector<uint8_t>> all[4] = {
      testsupport::WanderingBursts(Burst::UU, kReads, 1), testsupport::WanderingBursts(Burst::PU, kReads, 2),
      testsupport::WanderingBursts(Burst::UUPU, kReads, 3), testsupport::WanderingBursts(Burst::PUUU, kReads, 4)};
  return all[int(kind)];
}

// Times process(read), which must return true when the read gave a pose,
// over the reads of one kind; every read must give one.
template <typename Process>
void RunReads(benchmark::State& state, testsupport::Burst kind, Process process) {
  const auto& reads = Reads(kind);
  size_t i = 0, poses = 0;
  for (auto _ : state) poses += process(reads[i++ & (kReads - 1)]);
  if (poses != size_t(state.iterations())) state.SkipWithError("a read produced no pose");
  state.SetItemsProcessed(int64_t(state.iterations()));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(reads[0].size()));
}

// Times process(read) on a read whose first tag is wrong.
template <typename Process>
void RunRejected(benchmark::State& state, Process process) {
  std::vector<uint8_t> read = Reads(testsupport::Burst::UUPU)[0];
  read[0] = 'X';
  for (auto _ : state) benchmark::DoNotOptimize(process(read));
  state.SetItemsProcessed(int64_t(state.iterations()));
}

}  // namespace bench
}  // namespace ZEMBRA

// Every case in several repetitions, reporting mean, median and spread.
#define ZEMBRA_POSE_BENCH(fn) BENCHMARK(fn)->Repetitions(9)->ReportAggregatesOnly(true)
