// Spike detection over a full-length sweep: 900,001 samples at dt = 0.05 ms
// (45 s) with 100 action potentials on a noisy resting level.

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "spikes/Spikes.h"

namespace velmora {
namespace {

constexpr double kDt = 5e-5;  // s
constexpr int kSpikes = 100;

// Each spike: a 1 ms rise to +30 mV, a 1.5 ms fall and a 10 ms afterhyperpolarisation,
// every 440 ms from 500 ms on, on -65 mV with 0.1 mV of noise.
Recording SweepWithSpikes() {
  Recording rec;
  rec.dt = kDt, rec.tOn = 400, rec.tOff = 45000;  // ms
  SweepSlot& slot = rec.traces[1];
  slot.nLast = kMaxSweepSamples - 1;
  slot.V.resize(kMaxSweepSamples);
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0, 0.1);
  for (int i = 0; i < kMaxSweepSamples; ++i) slot.V[i] = -65 + noise(random);
  for (int k = 0; k < kSpikes; ++k) {
    const double tPeak = 0.5 + 0.44 * k;  // s
    for (int i = static_cast<int>((tPeak - 0.005) / kDt); i < static_cast<int>((tPeak + 0.05) / kDt); ++i) {
      const double s = (i * kDt - tPeak) * 1000;  // ms from the peak
      double bump = s < 0 ? 95 * std::exp(-s * s / 0.18) : 95 * std::exp(-s * s / 0.8);
      if (s > 0) bump -= 8 * (1 - std::exp(-s / 0.5)) * std::exp(-s / 10);
      slot.V[i] += bump;
    }
  }
  return rec;
}

void BM_DetectSpikes(benchmark::State& state) {
  const Recording rec = SweepWithSpikes();
  SpikeList spikes;
  for (auto _ : state) {
    DetectSpikes(spikes, rec, 1, SpikeSettings{});
    benchmark::DoNotOptimize(spikes.nSpikes);
    benchmark::ClobberMemory();
  }
  state.counters["nSpikes"] = spikes.nSpikes;
  state.SetItemsProcessed(state.iterations() * int64_t{kMaxSweepSamples});
}
BENCHMARK(BM_DetectSpikes)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora
