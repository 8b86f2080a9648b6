#include <benchmark/benchmark.h>

#include <cmath>

#include "firingclamp/Averaging.h"
#include "firingclamp/Meander.h"
#include "firingclamp/Pulses.h"

namespace velmora {
namespace {

// A full-length firing-clamp sweep (45 s at 20 kHz, 900 meanders of 20 Hz):
// the measured current follows the meander, the voltage rises through the
// positive pulse and falls through the negative one below Vswitch.
Recording FullSweep(int WaveKind) {
  Recording rec;
  rec.dt = 5e-5;  // s
  rec.FileNo = 1;
  rec.Gain = 1;
  RecordingParameters& par = rec.par;
  par.dtPar = 0.05;
  par.nPar = kMaxSweepSamples;
  par.FiringClampOn = 1;
  par.ProtocolKind = 1;
  par.Vus = -70;
  par.ClampWave = {.I0 = 100, .G0 = 5, .TI = 4000, .TG = 3000, .WaveKind = WaveKind, .WaveAlways = 1};
  par.FCPars = {.Freq = 20, .Vswitch = -60, .Ipos = 2000, .Ineg = 800, .Tpulse = 2};
  SweepSlot& s = rec.traces[1];
  s.nLast = kMaxSweepSamples - 1;
  s.V.resize(kMaxSweepSamples);
  s.Ireal.resize(kMaxSweepSamples);
  for (int i = 0; i < kMaxSweepSamples; ++i) {
    const int o = i % 1000;  // samples into the period
    const double wave = 0.3 * std::sin(i * 0.003);
    if (o < 40)
      s.V[i] = -65 + o + wave, s.Ireal[i] = 2000;
    else if (o < 80)
      s.V[i] = -25 - (o - 40) + wave, s.Ireal[i] = o < 77 ? -800 : 0;
    else
      s.V[i] = -65 + 3 * (o - 80) / 920.0 + wave, s.Ireal[i] = 0;
  }
  s.Icom = s.Ireal;
  return rec;
}

// Meander detection and pulse analysis of one sweep per run, under a
// constant clamp (kind 0) and under a sine current and cosine conductance (kind 3).
void BM_MeanderAndPulses(benchmark::State& state) {
  Recording rec = FullSweep(static_cast<int>(state.range(0)));
  FCRecord FC;
  FCSettings settings;
  LostParameters lost = LostParameters::ISinGConst;
  Pulses pulses;
  NullSink warnings;
  for (auto _ : state) {
    DetectMeander(rec, 1, CompensationSettings{}, EstimationsWindowSettings{}, FC, warnings);
    AnalyzePulses(rec, 1, FC, settings, lost, pulses, warnings);
    benchmark::DoNotOptimize(pulses.nPulses);
    benchmark::ClobberMemory();
  }
  state.counters["pulses"] = pulses.nPulses;
  state.SetItemsProcessed(state.iterations() * int64_t{kMaxSweepSamples});
}
BENCHMARK(BM_MeanderAndPulses)->Arg(0)->Arg(3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora
