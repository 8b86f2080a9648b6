#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <numbers>

#include "firingclamp/EstimateFC.h"

namespace velmora {
namespace {

TSurface Quadratic(double q1, double q2, double k1, double b1, double k2, double b2, double spread) {
  TSurface s{q1, q2, k1, b1, k2, b2};
  s.Imax = 300, s.Gmax = 20;  // pA, nS
  s.Imean = 150, s.Gmean = 10;
  s.zMean = b2;
  s.z2Mean = b2 * b2 + spread * spread;
  return s;
}

// A fit of kind 2 with three z values and a recording of the longest kind:
// 10 000 pulses whose I and G wander slowly through the calibrated range,
// with 0.2 mV of deterministic scatter on every z value.
struct Experiment {
  ApproxState approx;
  Pulses p;
};

Experiment MakeExperiment() {
  Experiment e;
  ApproxState& a = e.approx;
  a.calib.points.resize(20);
  a.fitted.kind = ApproxKind::Quadratic;
  a.fitted.iz1 = 5, a.fitted.iz2 = 4, a.fitted.iz3 = 3;  // subV, PulseV_VT, VT
  a.fitted.Use3 = true;
  a.SurfZ1 = Quadratic(-1e-5, 0.02, -0.001, 0.08, -1.2, -70, 6);
  a.SurfZ2 = Quadratic(2e-5, 0.01, 0.0005, -0.02, -0.8, 30, 4);
  a.SurfZ3 = Quadratic(0, 0.005, 0.0002, 0.01, 0.3, -50, 2);
  Pulses& p = e.p;
  SizePulseArrays(p, kMaxPulses);
  p.nPulses = kMaxPulses;
  for (int j = 1; j <= kMaxPulses; ++j) {
    const double I = 150 + 100 * std::sin(2 * std::numbers::pi * j / 500);
    const double G = 10 + 8 * std::cos(2 * std::numbers::pi * j / 700);
    const double scatter = 0.2 * std::sin(j * 12.9898);
    p.tPulse[j] = 50.0 * j;
    p.I[j] = I, p.G[j] = G;
    p.subV[j] = SurfaceValue(a.SurfZ1, I, G) + scatter;
    p.PulseV_VT[j] = SurfaceValue(a.SurfZ2, I, G) - scatter;
    p.VT[j] = SurfaceValue(a.SurfZ3, I, G) + 0.5 * scatter;
  }
  return e;
}

// The inversion itself: z values, InverseSolve3 and the corrections.
void BM_EstimatePulsesInverseSolve3(benchmark::State& state) {
  Experiment e = MakeExperiment();
  EstimationReport report;
  for (auto _ : state) {
    report = EstimatePulses(e.p, e.approx, {}, {}, 10, PrecisionSettings{});
    benchmark::DoNotOptimize(e.p.Iest.data());
    benchmark::ClobberMemory();
  }
  state.counters["notConverged"] = report.notConverged;
  state.SetItemsProcessed(state.iterations() * int64_t{kMaxPulses});
}
BENCHMARK(BM_EstimatePulsesInverseSolve3)->Unit(benchmark::kMillisecond);

// The whole estimation step as the driver runs it, file and charts included.
void BM_EstimateAllInverseSolve3(benchmark::State& state) {
  Experiment e = MakeExperiment();
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "velmora_bench_estimate";
  std::filesystem::create_directories(dir);
  EstimationCharts charts = MakeEstimationCharts();
  NullSink warnings;
  for (auto _ : state) {
    auto report = EstimateAll(e.p, e.approx, CompensationSettings{}, {10, -70, nullptr}, {}, {}, dir, charts, warnings);
    benchmark::DoNotOptimize(report);
  }
  std::filesystem::remove_all(dir);
  state.SetItemsProcessed(state.iterations() * int64_t{kMaxPulses});
}
BENCHMARK(BM_EstimateAllInverseSolve3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora
