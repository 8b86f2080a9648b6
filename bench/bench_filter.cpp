#include <benchmark/benchmark.h>

#include <cmath>
#include <utility>
#include <vector>

#include "recording/Filter.h"

namespace velmora {
namespace {

// A full-length sweep, one forward-backward iteration per run; items are
// samples per pass, so the rate reads as samples/s through one pass.
void BM_FilterVoltage(benchmark::State& state) {
  SweepSlot slot;
  slot.nLast = kMaxSweepSamples - 1;
  slot.V.resize(kMaxSweepSamples);
  for (int i = 0; i < kMaxSweepSamples; ++i) slot.V[i] = -65 + 10 * std::sin(i * 0.01);
  const FilterSettings s{.tauF = 0.1, .iterations = 1};
  NullSink warnings;
  for (auto _ : state) {
    FilterVoltage(slot, 2e-5, s, warnings);  // dt = 20 µs, a = 0.2
    benchmark::DoNotOptimize(slot.V.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 2 * int64_t{kMaxSweepSamples});
}
BENCHMARK(BM_FilterVoltage)->Unit(benchmark::kMillisecond);

// Twenty full-length sweeps filtered together, as an F-I run does before
// its loop; items as above, so the rate compares with one sweep alone.
void BM_FilterVoltages(benchmark::State& state) {
  constexpr int kSweeps = 20;
  std::vector<SweepSlot> slots(kSweeps);
  std::vector<std::pair<SweepSlot*, double>> sweeps;
  for (int k = 0; k < kSweeps; ++k) {
    SweepSlot& slot = slots[k];
    slot.nLast = kMaxSweepSamples - 1;
    slot.V.resize(kMaxSweepSamples);
    for (int i = 0; i < kMaxSweepSamples; ++i) slot.V[i] = -65 + 10 * std::sin(i * 0.01 + k);
    sweeps.emplace_back(&slot, 2e-5);
  }
  const FilterSettings s{.tauF = 0.1, .iterations = 1};
  for (auto _ : state) {
    FilterVoltages(sweeps, s);
    benchmark::DoNotOptimize(slots[0].V.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 2 * kSweeps * int64_t{kMaxSweepSamples});
}
BENCHMARK(BM_FilterVoltages)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora
