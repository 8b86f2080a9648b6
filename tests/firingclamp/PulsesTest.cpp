#include "firingclamp/Pulses.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "firingclamp/Averaging.h"
#include "firingclamp/Meander.h"
#include "modelcell/Synth.h"
#include "recording/TraceFile.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using ::testing::HasSubstr;
using S = MeanderState;

// A prepared sweep written sample by sample, at 0.1 ms: meander q (from the
// second period on) starts at sample q P with a 10-sample positive pulse
// rising 3 mV per sample, switches to negative at +10 (-35 mV), ends at +18,
// and rests at -65 mV. I, G and gNMDA step at every period start:
// 100 + 10 q pA, 5 + q nS, q nS.
struct PulseSweep {
  Recording rec;
  FCRecord FC;
  FCSettings settings;
  LostParameters lost = LostParameters::ISinGConst;
  Pulses p;
  CollectingSink warnings;

  explicit PulseSweep(int periods, int P = 100) {
    rec.dt = 1e-4;  // s
    RecordingParameters& par = rec.par;
    par.dtPar = 0.1;
    par.FCPars = {.Freq = 1e4 / P, .Vswitch = -60, .Ipos = 1000, .Ineg = 500, .Tpulse = 1};
    const int nLast = P * periods + 50;
    par.nPar = nLast + 501;  // nStop = nLast + 1: the scan ends at nLast - 3
    rec.traces[1].nLast = nLast;
    settings.ExcludeInitial = 0;  // the scan starts at sample 1
    FC.slot = 1, FC.nLast = nLast;
    const auto n = static_cast<std::size_t>(nLast) + 1;
    for (auto* v : {&FC.V, &FC.I, &FC.G, &FC.gNMDA, &FC.Meander}) v->assign(n, 0.0);
    FC.State.assign(n, 0);
    FC.PeriodFlaw.assign(n, 0);
    for (int i = 0; i <= nLast; ++i) {
      const int q = i / P, o = i % P;
      const S s = q == 0     ? S::Nothing
                  : o == 0   ? S::SwitchToPositivePulse
                  : o < 10   ? S::PositivePulse
                  : o == 10  ? S::SwitchToNegativePulse
                  : o < 18   ? S::NegativePulse
                  : o == 18  ? S::EndOfMeander
                             : S::InterPulseInterval;
      FC.State[i] = static_cast<std::int32_t>(s);
      FC.V[i] = q == 0 || o > 18 ? -65 : o < 10 ? -65 + 3 * o : o == 18 ? -64 : -35 - 4 * (o - 10);
      FC.I[i] = 100 + 10 * q;
      FC.G[i] = 5 + q;
      FC.gNMDA[i] = q;
      FC.Meander[i] = MeanderCurrent(s, par.FCPars);
    }
    FC.PeriodFlaw[P] = 1;  // the first meander starts late, as every first one does
  }
  void Run() { AnalyzePulses(rec, 1, FC, settings, lost, p, warnings); }
};

// Pulse j is meander j + 2 (the first meander is a flaw, its slot taken by
// the second): I, G, gNMDA are those held since the previous meander's switch
// to negative, the z values those of its own meander.
TEST(AnalyzePulses, PulseHoldsTheInputBeforeItAndItsOwnZValues) {
  for (const bool correctVus70 : {false, true}) {
    PulseSweep sweep(8);
    sweep.settings.Shift = 0;
    sweep.settings.correctVus70 = correctVus70;
    sweep.Run();
    const Pulses& p = sweep.p;
    EXPECT_EQ(sweep.warnings.size(), 0u);
    ASSERT_EQ(p.nPulses, 5) << "8 meanders: one flaw, slot 0 and the last completed one not counted";
    EXPECT_EQ(p.nFlaws, 1);
    ASSERT_LE(p.tPulse.size(), 10'001u);
    for (int j = 1; j <= p.nPulses; ++j) {
      const int q = j + 2;
      const std::string where = "pulse " + std::to_string(j) + (correctVus70 ? " corrected" : "");
      EXPECT_EQ(p.I[j], 100 + 10 * (q - 1) + (correctVus70 ? 70 * (5 + q - 1) : 0)) << where;
      EXPECT_EQ(p.G[j], 5 + q - 1) << where;
      EXPECT_EQ(p.gNMDA[j], q - 1) << where;
      EXPECT_NEAR(p.tPulse[j], 10 * q + 1, 1e-9) << where;
      EXPECT_EQ(p.VT[j], -65) << where;
      EXPECT_EQ(p.PulseV[j], -35) << where;
      EXPECT_NEAR(p.PulseV_VT[j], 30, 1e-9) << where;
      EXPECT_NEAR(p.NegPulseDur[j], 0.8, 1e-9) << where;
      EXPECT_EQ(p.VHalfPulse[j], -50) << where;
      EXPECT_EQ(p.subV[j], -65) << where;
      EXPECT_DOUBLE_EQ(p.Imeander[j], 60) << where << ": (8 x -500 + 10 x 1000) / 100 samples";
      EXPECT_NEAR(p.dVdt_V2[j], 30, 1e-9) << where << ": 3 mV per 0.1 ms above -50 mV";
      EXPECT_NEAR(p.dVdt_V1[j], -10.0 / 11, 1e-9) << where << ": one step of -1 mV among 11 samples";
    }
  }
}

// A jump of exactly FlawThreshold is allowed and one just above is not;
// |V| = 150 mV is implausible whatever the jump allows.
TEST(AnalyzePulses, FlawTestsAtTheirThresholds) {
  struct Case {
    const char* name;
    double threshold, v;  // v replaces V = -65 mV at one interpulse sample
    int flaws;
  } cases[] = {
      {"jump of exactly the threshold", 30, -35, 1},
      {"jump just above the threshold", 30, -34.99, 2},
      {"V = 150 mV", 1000, 150, 2},
      {"V = -150 mV", 1000, -150, 2},
      {"V just below 150 mV", 1000, 149.99, 1},
  };
  for (const Case& c : cases) {
    PulseSweep sweep(8);
    sweep.settings.FlawThreshold = c.threshold;
    sweep.FC.V[550] = c.v;
    sweep.Run();
    EXPECT_EQ(sweep.p.nFlaws, c.flaws) << c.name;
    EXPECT_EQ(sweep.p.nPulses, 5 - (c.flaws - 1)) << c.name;
  }
}

// With Shift s in (0, 1] a pulse mixes in its predecessor's I, G, gNMDA; with
// s > 1 it takes those of two pulses before. Pulse 1 keeps its own.
TEST(AnalyzePulses, ShiftMovesTheInputAgainstThePulses) {
  PulseSweep plain(9);
  plain.settings.Shift = 0;
  plain.Run();
  const Pulses& u = plain.p;
  ASSERT_EQ(u.nPulses, 6);
  for (const double s : {0.5, 1.0, 2.0, -1.0}) {
    PulseSweep sweep(9);
    sweep.settings.Shift = s;
    sweep.Run();
    const Pulses& p = sweep.p;
    ASSERT_EQ(p.nPulses, 6) << "shift " << s;
    for (int j = 1; j <= p.nPulses; ++j) {
      double I = u.I[j], G = u.G[j];
      if (j >= 2 && s > 0 && s <= 1) I = (1 - s) * u.I[j] + s * u.I[j - 1], G = (1 - s) * u.G[j] + s * u.G[j - 1];
      if (j >= 2 && s > 1) I = u.I[j - 2], G = u.G[j - 2];
      EXPECT_DOUBLE_EQ(p.I[j], I) << "shift " << s << " pulse " << j;
      EXPECT_DOUBLE_EQ(p.G[j], G) << "shift " << s << " pulse " << j;
      EXPECT_DOUBLE_EQ(p.gNMDA[j], G - 5) << "shift " << s << " pulse " << j;
    }
  }
  EXPECT_EQ(u.I[3] - u.I[2], 10);  // the shifts above were not all equal by accident
}

// A flawed meander gives its slot to the next one, which must not inherit the
// flawed meander's dV/dt at V1 when none of its own samples rises above V1.
TEST(AnalyzePulses, ReusedSlotOfAFlawStartsEmpty) {
  PulseSweep sweep(8);
  sweep.settings.Shift = 0;
  sweep.settings.V1 = -60;  // the resting -65 mV is below it
  for (int i = 540; i <= 545; ++i) sweep.FC.V[i] = -55;  // above V1 before meander 6
  sweep.FC.V[605] += 40;                                  // meander 6 jumps: a flaw
  sweep.Run();
  const Pulses& p = sweep.p;
  ASSERT_EQ(p.nFlaws, 2);
  ASSERT_EQ(p.nPulses, 4);
  for (int j = 1; j <= p.nPulses; ++j) EXPECT_EQ(p.dVdt_V1[j], 0) << "pulse " << j;
  EXPECT_EQ(p.G[4], 5 + 6) << "pulse 4 is meander 7";
}

// The pulse analysis reads FC sample by sample: an FC of another slot or of
// another length of this slot would be read as if it were this sweep's.
TEST(AnalyzePulses, RefusesAnFCRecordThatIsNotThisSweeps) {
  struct Case { const char* name; int slot, nLast; } cases[] = {
      {"another slot", 2, 850}, {"another length", 1, 700}, {"no pass", 0, -1}};
  for (const Case& c : cases) {
    PulseSweep sweep(8);
    sweep.FC.slot = c.slot, sweep.FC.nLast = c.nLast;
    sweep.p.nPulses = 12;
    sweep.Run();
    EXPECT_EQ(sweep.p.nPulses, 0) << c.name;
    ASSERT_EQ(sweep.warnings.size(), 1u) << c.name;
    EXPECT_THAT(sweep.warnings[0], HasSubstr("meanders of this sweep have not been detected")) << c.name;
  }
}

// The arrays hold slots 0..10000: a longer recording stops the count there
// and says so once.
TEST(AnalyzePulses, StopsCountingAtTheLastSlot) {
  PulseSweep sweep(10'050, 20);
  sweep.Run();
  EXPECT_EQ(sweep.p.nPulses, kMaxPulses - 1);
  EXPECT_EQ(sweep.p.tPulse.size(), static_cast<std::size_t>(kMaxPulses) + 1);
  ASSERT_EQ(sweep.warnings.size(), 1u);
  EXPECT_THAT(sweep.warnings[0], HasSubstr("more than 10000 meanders"));
}

// The counts come from the recorder's step, the exclusion in whole samples
// plus one; a parameter file without a step gives counts of 0, said once each.
TEST(ReadFCSettings, ComputesTheCountsAndGuardsAZeroStep) {
  RecordingParameters par;
  par.dtPar = 0.1, par.nPar = 1000;
  par.FCPars = {.Freq = 100, .Tpulse = 1};
  par.ClampWave.WaveKind = -13;  // not recorded
  LostParameters lost = LostParameters::IConstGCos;
  FCSettings settings;
  Pulses p;
  p.nFlaws = 7;
  CollectingSink warnings;
  EXPECT_EQ(ReadFCSettings(par, lost, settings, p, warnings), 501);  // the first sample looked at
  EXPECT_EQ(warnings.size(), 0u);
  EXPECT_EQ(par.FCPars.nPeriod, 100);
  EXPECT_EQ(par.FCPars.nPulse, 10);
  EXPECT_EQ(par.FCPars.nStop, 500);
  EXPECT_EQ(par.ClampWave.WaveKind, 2);
  EXPECT_EQ(p.nFlaws, 0);

  par.dtPar = 0;
  EXPECT_EQ(ReadFCSettings(par, lost, settings, p, warnings), 1);
  EXPECT_EQ(par.FCPars.nPeriod, 0);
  EXPECT_EQ(par.FCPars.nStop, 0);
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_THAT(warnings[0], HasSubstr("nPeriod, nPulse, nStop cannot be computed"));
  EXPECT_THAT(warnings[1], HasSubstr("no initial samples are excluded"));
}

// z numbers 10 and 11 are the dV/dt at V1 and V2 (as for the calibration
// set); other numbers and slots outside the arrays give 0.
TEST(ZValue, NumbersSelectTheirArrays) {
  Pulses p;
  SizePulseArrays(p, 3);
  const auto arrays = p.Arrays();
  for (int a = 0; a < kPulseArrays; ++a)
    for (int j = 0; j <= 3; ++j) (*arrays[a])[j] = 100 * a + j;
  const int position[] = {3, 21, 2, 1, 4, 22, 5, 23, 24};  // of z numbers 3..11
  for (int n = 3; n <= 11; ++n) EXPECT_EQ(ZValue(p, n, 2), 100 * position[n - 3] + 2) << "z number " << n;
  for (int n : {-1, 0, 1, 2, 12}) EXPECT_EQ(ZValue(p, n, 2), 0) << "z number " << n;
  EXPECT_EQ(ZValue(p, 3, 4), 0);
  EXPECT_EQ(ZValue(p, 3, -1), 0);
}

// dV/dt at V1 without and at V2 with the positive pulse, made from a known
// I and G, must give them back; levels or capacitance without a solution give
// 0 and one warning, not an infinity per pulse.
TEST(AnalyticEstimate, RecoversIAndGAndGuardsItsDivisions) {
  struct Case { const char* name; double V1, V2, C; const char* message; } cases[] = {
      {"solvable", -72, -50, 0.08, ""},
      {"V2 = V1", -60, -60, 0.08, "V1 and V2 must differ"},
      {"C = 0", -72, -50, 0, "C must not be 0"},
      {"overflow", -72, -50, 1e-320, "4 pulses are out of range"},
  };
  const double I = 50, G = 3, Ipos = 2000, C = 0.08, Gt = 10 + G;  // GL = 10 nS
  for (const Case& c : cases) {
    const FCSettings settings{.V1 = c.V1, .V2 = c.V2, .C = c.C, .VL = -45, .GL = 10};
    Pulses p;
    p.nPulses = 4;
    SizePulseArrays(p, 5);
    for (int j = 1; j <= 5; ++j) {  // membrane: 1000 C dV/dt = I - Gt (V - VL) [+ Ipos]
      p.dVdt_V1[j] = (I - Gt * (-72 - settings.VL)) / (1000 * C);
      p.dVdt_V2[j] = (I - Gt * (-50 - settings.VL) + Ipos) / (1000 * C);
      p.Iest[j] = p.Gest[j] = 99;
    }
    CollectingSink warnings;
    AnalyticEstimate(p, Ipos, settings, warnings);
    const bool solvable = *c.message == 0;
    for (int j = 1; j <= 4; ++j) {
      EXPECT_NEAR(p.Iest[j], solvable ? I : 0, 1e-9) << c.name << " pulse " << j;
      EXPECT_NEAR(p.Gest[j], solvable ? G : 0, 1e-9) << c.name << " pulse " << j;
    }
    EXPECT_EQ(p.Iest[5], 99) << c.name << ": beyond nPulses";
    ASSERT_EQ(warnings.size(), solvable ? 0u : 1u) << c.name;
    if (!solvable) {
      EXPECT_THAT(warnings[0], HasSubstr(c.message)) << c.name;
    }
  }
}

// On a model-cell sweep of constant I and G every counted pulse carries
// exactly those values, and the count is what the scanned meanders allow.
TEST(FiringClampSweep, ModelCellPulsesCarryTheClampedIAndG) {
  testing::TempDir tmp;
  SynthSettings s;
  s.protocol = SynthProtocol::FcCalibration;
  s.duration = 1000;  // ms: 20 meander periods of 50 ms
  s.recorder.measurement = {0.05, 2, 0};
  s.fcCalibration.I = {120};
  s.fcCalibration.G = {6};
  NullSink synthWarnings;
  const auto written = WriteSynthRecording(s, tmp.path(), synthWarnings);
  ASSERT_TRUE(written) << written.error().What();
  const SynthSweep& w = written->front();

  Recording rec;
  CollectingSink warnings;
  ASSERT_TRUE(LoadSweepFiles(rec, tmp / w.trace, warnings));
  LoadSettings load;
  ASSERT_TRUE(LoadSweep(rec, 1, load, warnings));
  FCRecord FC;  // design defaults: delays 5, 5, 8; no electrode resistance
  ASSERT_TRUE(DetectMeander(rec, 1, CompensationSettings{}, EstimationsWindowSettings{}, FC, warnings));
  FCSettings settings;
  settings.FlawThreshold = 50;  // the model's spike rises up to 33 mV in one 0.05 ms sample
  Pulses p;
  AnalyzePulses(rec, 1, FC, settings, load.lost, p, warnings);
  EXPECT_EQ(warnings.size(), 0u) << (warnings.size() ? warnings[0] : "");

  // The scan runs from sample 1001 (50 ms excluded) to nStop = 20001 - 1000:
  // meanders start at clock 1000, 2000, ..., 18000 (18 of them), the first
  // one late and so a flaw; of 17 clean slots the first and last are not counted.
  EXPECT_EQ(p.nFlaws, 1);
  EXPECT_EQ(p.nPulses, 15);
  for (int j = 1; j <= p.nPulses; ++j) {
    EXPECT_EQ(p.I[j], 120) << "pulse " << j;
    EXPECT_EQ(p.G[j], 6) << "pulse " << j;
    // Meander j + 2 switched to negative at sample kNegative; the clock runs
    // DelayT = 5 samples behind.
    EXPECT_NEAR(p.tPulse[j], (w.pulses[j + 1].kNegative + 5) * 0.05, 1e-9) << "pulse " << j;
    EXPECT_GT(p.PulseV[j], p.VT[j]) << "pulse " << j;
    EXPECT_GT(p.NegPulseDur[j], 0) << "pulse " << j;
  }
}

}  // namespace
}  // namespace velmora
