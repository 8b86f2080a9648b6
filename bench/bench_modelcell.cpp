// The model cell: a 10 s firing-clamp recording at 20 kHz under a slowly
// varying I and G, noise and electrode on, simulated alone and then written
// as a whole data directory, text or binary. Target: under 1 s.

#include <benchmark/benchmark.h>

#include <filesystem>

#include "modelcell/Synth.h"

namespace velmora {
namespace {

SynthSettings TenSeconds() {
  SynthSettings s;
  s.protocol = SynthProtocol::FcEstimation;
  s.duration = 10000;  // ms
  s.recorder.dt = 0.05;
  s.recorder.measurement = {0.2, 5, 0};
  s.recorder.electrode = {10, 5};
  return s;
}

void BM_SimulateSweep10s(benchmark::State& state) {
  const SynthSettings s = TenSeconds();
  const PlannedSweep sweep = PlanSweeps(s).front();
  for (auto _ : state) {
    const SweepResult r = SimulateSweep(s.cell, s.recorder, sweep.spec, s.seed, 1);
    benchmark::DoNotOptimize(r.V.data());
  }
}
BENCHMARK(BM_SimulateSweep10s)->Unit(benchmark::kMillisecond);

void BM_WriteRecording10s(benchmark::State& state) {
  SynthSettings s = TenSeconds();
  s.binary = state.range(0) == 1;
  const auto dir = std::filesystem::temp_directory_path() / "velmora-bench-modelcell";
  NullSink warnings;
  for (auto _ : state) benchmark::DoNotOptimize(WriteSynthRecording(s, dir, warnings).ok());
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_WriteRecording10s)->Arg(0)->Arg(1)->ArgName("binary")->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora
