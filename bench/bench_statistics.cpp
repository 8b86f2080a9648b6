#include <benchmark/benchmark.h>

#include <cmath>

#include "actions/StatisticsRun.h"

namespace velmora {
namespace {

// One statistics pass over a full-length sweep (900,001 samples) with the
// largest lag as the argument: the per-sample lag update is the cost. The
// signal is a noisy sine, so the histogram and moments see real values.
void BM_AnalyzeStatistics(benchmark::State& state) {
  Session session;
  Recording& rec = session.rec;
  rec.dt = 2e-5;  // s
  rec.tOn = -1;   // ms: the window starts at sample 0
  rec.tOff = 1e9;
  SweepSlot& slot = rec.traces[1];
  slot.nLast = kMaxSweepSamples - 1;
  slot.V.resize(kMaxSweepSamples);
  slot.Ireal.assign(kMaxSweepSamples, 0.0);
  for (int i = 0; i < kMaxSweepSamples; ++i) slot.V[i] = -65 + 5 * std::sin(i * 0.003) + std::sin(i * 1.7);
  StatisticsSettings settings;
  settings.nt_corr = static_cast<double>(state.range(0));
  NullSink warnings;
  StatisticsWindow window;
  for (auto _ : state) {
    const StatisticsState st = AnalyzeStatistics(session, 1, settings, window, warnings);
    benchmark::DoNotOptimize(st.Corr.data());
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kMaxSweepSamples});
}
BENCHMARK(BM_AnalyzeStatistics)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora
