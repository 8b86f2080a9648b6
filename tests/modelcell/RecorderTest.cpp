#include "modelcell/Recorder.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velmora {
namespace {

// The pulse analysis finds the end of each negative pulse from the voltage;
// the recorder must switch it off exactly where the recorded V first dips
// below Vswitch, noise and electrode included.
TEST(Recorder, MeanderNegativePulseEndsAtFirstSampleBelowVswitch) {
  RecorderSettings rec;
  rec.measurement.noiseV = 0.3;
  rec.electrode = {10, 5};
  SweepSpec sweep;
  sweep.duration = 500;
  sweep.clamp.wave.I0 = 50, sweep.clamp.wave.G0 = 10;
  sweep.meander = MeanderSettings{};
  const MeanderSettings& m = *sweep.meander;
  const SweepResult r = SimulateSweep(CellParameters{}, rec, sweep, 3, 1);
  const int period = MeanderPeriodSamples(m, rec.dt), pulse = MeanderPulseSamples(m, rec.dt);

  ASSERT_EQ(r.pulses.size(), 10u);  // periods 1..10 start at 50, 100, ... 500 ms
  for (std::size_t p = 0; p < r.pulses.size(); ++p) {
    const MeanderPulse& q = r.pulses[p];
    EXPECT_EQ(q.kPositive, static_cast<int>(p + 1) * period) << "pulse " << p;
    for (int k = q.kPositive - 1; k < q.kPositive; ++k) EXPECT_EQ(r.Meander[k], 0) << "pulse " << p;
    if (q.kNegative < 0) continue;  // the last period is cut by the end of the sweep
    EXPECT_EQ(q.kNegative - q.kPositive, pulse) << "pulse " << p;
    for (int k = q.kPositive; k < q.kNegative; ++k) ASSERT_EQ(r.Meander[k], m.Ipos) << "pulse " << p << " k " << k;
    ASSERT_GE(q.kEnd, 0) << "pulse " << p << " never ended";
    for (int k = q.kNegative; k < q.kEnd; ++k) {
      ASSERT_EQ(r.Meander[k], -m.Ineg) << "pulse " << p << " k " << k;
      if (k > q.kNegative) {
        ASSERT_GE(r.V[k], m.Vswitch) << "pulse " << p << " k " << k;
      }
    }
    EXPECT_LT(r.V[q.kEnd], m.Vswitch) << "pulse " << p;
    EXPECT_EQ(r.Meander[q.kEnd], 0) << "pulse " << p;
  }
}

// What offline compensation removes: the recorded voltage is off the
// membrane's by Re times the current, and the clamp acts on the recorded one.
TEST(Recorder, ElectrodeOffsetsRecordedVoltageByItsDrop) {
  RecorderSettings rec;
  rec.electrode = {20, 2};  // MOhm, pF
  SweepSpec sweep;
  sweep.duration = 300;
  sweep.clamp.wave.I0 = -200;  // pA, hyperpolarising: no spikes
  const SweepResult r = SimulateSweep(CellParameters{}, rec, sweep, 1, 1);
  const int k = r.samples() - 1;
  EXPECT_NEAR(r.V[k] - r.Vm[k], 0.020 * r.Icom[k], 0.05);  // GOhm x pA = mV
  EXPECT_LT(r.Vm[k], -70);
}

// The artefact detector marks a stimulus where the second difference of the
// current first exceeds its limit (5000 at the start): at the artefact's own
// sample, far above noise; and the stimulator runs a little fast, as it expects.
TEST(Recorder, StimulationLeavesLargeSecondDifferences) {
  RecorderSettings rec;
  rec.measurement.noiseI = 5;
  rec.stimulation.freq = 20;
  SweepSpec sweep;
  sweep.duration = 400;
  const SweepResult r = SimulateSweep(CellParameters{}, rec, sweep, 1, 1);
  ASSERT_EQ(r.stimTimes.size(), 8u);  // 50, 99, 148, ... 393 ms
  EXPECT_NEAR(r.stimTimes[1] - r.stimTimes[0], 49, 1e-9);

  const auto residual = [&](int k) { return r.Ireal[k] - (r.Ireal[k - 1] + r.Ireal[k] + r.Ireal[k + 1]) / 3; };
  const auto dd = [&](int k) { return residual(k + 1) - 2 * residual(k) + residual(k - 1); };
  std::vector<bool> artefact(r.samples(), false);
  for (const double t : r.stimTimes) {
    const int k = static_cast<int>(std::lround(t / r.dt));
    EXPECT_LT(std::fabs(dd(k - 1)), 5000) << "stimulus at " << t << ": found a sample early";
    EXPECT_GT(std::fabs(dd(k)), 5000) << "stimulus at " << t;
    for (int j = k - 2; j <= k + 4; ++j) artefact[j] = true;
  }
  for (int k = 2; k < r.samples() - 2; ++k)
    if (!artefact[k]) {
      ASSERT_LT(std::fabs(dd(k)), 200) << "k " << k;
    }
}

// The recorder's waveforms: kind 4 is a square wave off in its first half
// period, kind 5 splits into conductances with their own reversal potentials.
TEST(Recorder, ClampCommandOfKinds4And5) {
  ClampProtocol p;
  p.Vus = -70;
  p.wave.WaveKind = 4, p.wave.I0 = 50, p.wave.TI = 100;
  EXPECT_EQ(CommandAt(p, 25).I, 0);
  EXPECT_EQ(CommandAt(p, 75).I, 50);
  p.wave.WaveKind = 5, p.wave.GEamp = 2, p.wave.GIamp = 3, p.wave.gNMDAamp = 1, p.wave.EI = -80;
  const ClampCommand c = CommandAt(p, 10);
  EXPECT_DOUBLE_EQ(c.G, 5);
  EXPECT_DOUBLE_EQ(c.I, 2 * 70 + 3 * (-10));  // GE (0 - Vus) + GI (EI - Vus)
  EXPECT_DOUBLE_EQ(c.gNMDA, 1);
  p.tGOn = 20;
  EXPECT_EQ(CommandAt(p, 10).G, 0) << "outside the window";
}

}  // namespace
}  // namespace velmora
