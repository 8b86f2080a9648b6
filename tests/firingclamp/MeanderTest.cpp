#include "firingclamp/Meander.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "firingclamp/Averaging.h"
#include "recording/Stimulus.h"

namespace velmora {
namespace {

using ::testing::HasSubstr;
using S = MeanderState;

// 100-sample periods (100 Hz at 0.1 ms), a 10-sample positive pulse of
// 1000 pA, a negative one of 500 pA ending below -60 mV; a constant clamp of
// 50 pA and 4 nS against Vus = -70 mV, with the third output 7.
Recording MeanderRecording(int periods) {
  Recording rec;
  rec.dt = 1e-4;  // s
  rec.FileNo = 1;
  rec.Gain = 1;
  RecordingParameters& par = rec.par;
  par.dtPar = 0.1;
  par.nPar = 100 * periods + 1;
  par.FiringClampOn = 1;
  par.ProtocolKind = 1;
  par.Vus = -70;
  par.ClampWave = {.I0 = 50, .G0 = 4, .E0 = 7, .TI = 20, .WaveKind = 0, .WaveAlways = 1};
  par.FCPars = {.Freq = 100, .Vswitch = -60, .Ipos = 1000, .Ineg = 500, .Tpulse = 1};
  SweepSlot& s = rec.traces[1];
  s.nLast = 100 * periods;
  s.V.resize(s.nLast + 1);
  s.Ireal.resize(s.nLast + 1);
  for (int i = 0; i <= s.nLast; ++i) {
    const int o = i % 100;  // the cell's own meander runs from the first period on
    if (o < 10)
      s.V[i] = -65 + 2 * o, s.Ireal[i] = 1000;
    else if (o < 18)
      s.V[i] = -45 - 2 * (o - 10), s.Ireal[i] = -500;
    else
      s.V[i] = -61 - 0.05 * (o - 18), s.Ireal[i] = 0;
  }
  s.Icom = s.Ireal;
  return rec;
}

CompensationSettings NoDelays() {
  CompensationSettings c;
  c.DelayI = c.DelayT = c.DelayV = 0;
  return c;
}

struct StepCase {
  const char* name;
  int i;
  double Iq, Vq;
  S prev;
  S state;
  bool periodFlaw = false;
  MeanderDelays d{};
  double Ipos = 100;
};

// Every rule of the state machine, its order and its strict comparisons.
TEST(MeanderStep, EachRuleGivesItsState) {
  const StepCase cases[] = {
      {"first period is nothing", 5, 200, -70, S::Nothing, S::Nothing},
      {"period start with the current on", 20, 51, -70, S::InterPulseInterval, S::SwitchToPositivePulse},
      {"lagging current at exactly Ipos/2 delays", 20, 50, -70, S::InterPulseInterval, S::DelayPositivePulse},
      {"period start while the meander still runs is late", 20, 51, -50, S::NegativePulse,
       S::SwitchToPositivePulse, true},
      {"late start with lagging current", 20, 0, -50, S::NegativePulse, S::DelayPositivePulse, true},
      {"lagging current catches up", 21, 51, -70, S::DelayPositivePulse, S::SwitchToPositivePulse},
      {"Ipos = 0 switches at every period start", 20, -5, -70, S::InterPulseInterval, S::SwitchToPositivePulse,
       false, {}, 0},
      {"nominal pulse end with negative current", 23, -1, -40, S::PositivePulse, S::SwitchToNegativePulse},
      {"nominal pulse end with current at 0 delays", 23, 0, -40, S::PositivePulse, S::DelayNegativePulse},
      {"pulse end whatever the previous state", 23, -1, -40, S::NegativePulse, S::SwitchToNegativePulse},
      {"lagging negative current catches up", 25, -1, -40, S::DelayNegativePulse, S::SwitchToNegativePulse},
      {"lagging negative current keeps +Ipos", 25, 0, -40, S::DelayNegativePulse, S::DelayNegativePulse},
      {"V below Vend ends the meander", 25, -500, -60.001, S::NegativePulse, S::EndOfMeander},
      {"V at exactly Vend does not", 25, -500, -60, S::NegativePulse, S::NegativePulse},
      // Clock delayed by 3: the period starts at i = 23; current read at i - 2, voltage at i - 1.
      {"delayed clock", 23, 51, -70, S::InterPulseInterval, S::SwitchToPositivePulse, false, {2, 3, 1}},
      {"delayed clock: nominal pulse end", 26, -1, -70, S::PositivePulse, S::SwitchToNegativePulse, false,
       {2, 3, 1}},
      {"delayed voltage", 27, -500, -61, S::NegativePulse, S::EndOfMeander, false, {2, 3, 1}},
  };
  for (const StepCase& c : cases) {
    SweepSlot sweep;
    sweep.V.assign(40, 1000.0);  // far from every level: a wrong index shows
    sweep.Ireal.assign(40, 1000.0);
    sweep.Ireal[c.i - c.d.dI] = c.Iq;
    sweep.V[c.i - c.d.dV] = c.Vq;
    const MeanderClock clock{.nPeriod = 10, .nPulse = 3, .Ipos = c.Ipos, .Vend = -60};
    const MeanderTransition t = MeanderStep(sweep, clock, c.i, c.d, c.prev);
    EXPECT_EQ(t.state, c.state) << c.name << ": " << StateName(static_cast<int>(t.state));
    EXPECT_EQ(t.periodFlaw, c.periodFlaw) << c.name;
  }
}

// The names are the labels of the stored indices: both ways must agree.
TEST(MeanderStates, NamesRoundTrip) {
  for (int i = 0; i < 10; ++i) EXPECT_EQ(StateIndex(StateName(i)), i) << StateName(i);
  EXPECT_EQ(StateName(9), "InterPulseInterval");
  EXPECT_EQ(StateIndex("positivepulse"), 0);
  EXPECT_EQ(StateName(10), "Nothing");
}

// A clean meander passes every state once in order, each switch lasting one
// sample; only the first meander of the sweep is marked late.
TEST(DetectMeander, CleanMeanderRunsThroughTheCycle) {
  Recording rec = MeanderRecording(4);
  FCRecord FC;
  CollectingSink warnings;
  ASSERT_TRUE(DetectMeander(rec, 1, NoDelays(), {}, FC, warnings));
  EXPECT_EQ(warnings.size(), 0u);
  EXPECT_EQ(FC.State.size(), 401u);
  EXPECT_EQ(FC.slot, 1);
  EXPECT_EQ(FC.nLast, 400);
  for (int i = 1; i < 100; ++i) ASSERT_EQ(FC.State[i], 0) << i;
  for (int i = 200; i < 300; ++i) {
    const int o = i - 200;
    const S expected = o == 0    ? S::SwitchToPositivePulse
                       : o < 10  ? S::PositivePulse
                       : o == 10 ? S::SwitchToNegativePulse
                       : o < 18  ? S::NegativePulse  // V < -60 from o = 18 on
                       : o == 18 ? S::EndOfMeander
                                 : S::InterPulseInterval;
    ASSERT_EQ(static_cast<S>(FC.State[i]), expected) << "sample " << i;
    EXPECT_EQ(FC.Switch[i], o == 0 || o == 10 || o == 18 ? 1 : 0) << "sample " << i;
    EXPECT_EQ(FC.Meander[i], o < 10 ? 1000 : o < 18 ? -500 : 0) << "sample " << i;  // +Ipos, -Ineg
  }
  EXPECT_EQ(FC.PeriodFlaw[100], 1);
  EXPECT_EQ(FC.PeriodFlaw[200], 0);
  EXPECT_EQ(FC.PeriodFlaw[300], 0);
  EXPECT_EQ(FC.Aux[250], 7);
}

// Samples within a delay use the quantity undelayed; later ones the delayed
// clock (stimulus time and state machine) and the delayed current.
TEST(DetectMeander, DelaysShiftTheClockAndTheMeasuredCurrent) {
  Recording rec = MeanderRecording(3);
  rec.par.ClampWave.WaveKind = 1;  // I0 sin(2 pi t / 20 ms): each sample has its own value
  CompensationSettings compensation = NoDelays();
  compensation.DelayI = 2.9, compensation.DelayT = 3;  // samples, truncated
  compensation.mode = CompensationMode::CommandOnly;
  FCRecord FC;
  CollectingSink warnings;
  ASSERT_TRUE(DetectMeander(rec, 1, compensation, {}, FC, warnings));
  const SweepSlot& s = rec.traces[1];
  for (int i : {1, 2, 3, 4, 150}) {
    const int dT = i <= 3 ? 0 : 3, dI = i <= 2 ? 0 : 2;
    EXPECT_DOUBLE_EQ(FC.I[i], StimulusAt(rec.par, 1, (i - dT) * rec.dt * 1000).Icom) << "sample " << i;
    EXPECT_EQ(FC.Ireal[i], s.Ireal[i - dI]) << "sample " << i;
  }
  EXPECT_EQ(static_cast<S>(FC.State[202]), S::InterPulseInterval);
  EXPECT_EQ(static_cast<S>(FC.State[203]), S::SwitchToPositivePulse);  // clock 200, current at 201
  EXPECT_EQ(static_cast<S>(FC.State[213]), S::SwitchToNegativePulse);
}

// Each mode changes the stored voltage, current and conductance in its own
// way; the step values and Vend follow the electrode resistance the mode keeps.
TEST(DetectMeander, CompensationModesCorrectVIGAndTheStepValues) {
  const double G1 = 10, R1 = 0.1, Vj = 2, Ioff = 5, Icom = 50, Gcom = 4;
  for (int m = 0; m <= 6; ++m) {
    const auto mode = static_cast<CompensationMode>(m);
    Recording rec = MeanderRecording(3);
    rec.Ifile[1] = 50, rec.Gfile[1] = 4, rec.Gain = 2;
    CompensationSettings compensation = NoDelays();
    compensation.mode = mode, compensation.G1 = G1;
    EstimationsWindowSettings estimations;
    estimations.corrections.Vjunction = Vj, estimations.corrections.Ioffset = Ioff;
    FCRecord FC;
    CollectingSink warnings;
    ASSERT_TRUE(DetectMeander(rec, 1, compensation, estimations, FC, warnings)) << m;
    const bool keepsR1 = m <= 2 || m == 6;
    const double r = keepsR1 ? R1 : 0;
    const double G = Gcom / (Gcom * r + 1);
    for (int i : {150, 205}) {  // interpulse interval, positive pulse
      const double V = rec.traces[1].V[i], Mi = FC.Meander[i];
      double Itot = Icom - (V + 70) * Gcom, Im = 0;
      if (mode == CompensationMode::UseIreal) Itot = rec.traces[1].Ireal[i];
      if (mode == CompensationMode::UseMeander) Im = Mi, Itot += Mi;
      EXPECT_NEAR(FC.V[i], V - Vj - (Itot + Ioff) * r, 1e-12) << "mode " << m << " sample " << i;
      EXPECT_NEAR(FC.G[i], G, 1e-12) << "mode " << m;
      EXPECT_NEAR(FC.I[i], Icom + Ioff - G * Vj - (Icom + Im + Ioff) * G * r, 1e-12) << "mode " << m << " " << i;
    }
    if (!keepsR1) {
      EXPECT_EQ(FC.V[150], rec.traces[1].V[150] - Vj) << "mode " << m;
    }
    EXPECT_EQ(FC.Vend, m == 1 || m == 2 ? -60 + 500 / G1 : -60) << "mode " << m;
    const double den = 1 + 4 * 2 * r;
    EXPECT_NEAR(rec.Gfile[1], 4 / den, 1e-12) << "mode " << m;
    EXPECT_NEAR(rec.Ifile[1], 50 / den, 1e-12) << "mode " << m;
    EXPECT_EQ(warnings.size(), 0u) << "mode " << m;
  }
}

// The measured current is low-pass filtered with tau_Ifilt; a time constant
// shorter than a sample would make the filter grow without bound.
TEST(DetectMeander, IrealFilterStaysBoundedForAnyTimeConstant) {
  for (const double tau : {200.0, 1.0}) {  // us; dt = 100 us
    Recording rec = MeanderRecording(3);
    CompensationSettings compensation = NoDelays();
    compensation.tauIfilt = tau;
    FCRecord FC;
    CollectingSink warnings;
    ASSERT_TRUE(DetectMeander(rec, 1, compensation, {}, FC, warnings));
    const auto& Ireal = rec.traces[1].Ireal;
    if (tau == 200) {
      EXPECT_DOUBLE_EQ(FC.Ireal[1], 0.5 * Ireal[1]);  // from 0, half the way per sample
      EXPECT_DOUBLE_EQ(FC.Ireal[2], 0.75 * Ireal[1]);
    } else {
      for (int i = 1; i <= 300; ++i) ASSERT_EQ(FC.Ireal[i], Ireal[i]) << "sample " << i;
    }
  }
}

struct RefusalCase {
  const char* name;
  void (*spoil)(Recording&);
  int k;
  const char* message;
};

// Without a meander period or without samples there is nothing to detect: the
// pass must say so, leave the step values alone, and leave FC holding no slot.
TEST(DetectMeander, RefusesWithoutPeriodOrSamples) {
  const RefusalCase cases[] = {
      {"Freq = 0", [](Recording& r) { r.par.FCPars.Freq = 0; }, 1, "meander period is 0 samples"},
      {"period below a sample", [](Recording& r) { r.par.FCPars.Freq = 20000; }, 1, "meander period is 0 samples"},
      {"dtPar = 0", [](Recording& r) { r.par.dtPar = 0; }, 1, "meander period is 0 samples"},
      {"one sample", [](Recording& r) { r.traces[1].nLast = 0; }, 1, "too few samples (1)"},
      {"empty slot", [](Recording& r) { r.traces[1].nLast = -1; }, 1, "too few samples (0)"},
      {"trace shorter than nLast", [](Recording& r) { r.traces[1].Ireal.resize(10); }, 1, "shorter than 301"},
      {"slot 0", [](Recording&) {}, 0, "slot 0 is outside 1..50"},
      {"slot 51", [](Recording&) {}, 51, "slot 51 is outside 1..50"},
  };
  for (const RefusalCase& c : cases) {
    Recording rec = MeanderRecording(3);
    rec.Gfile[1] = 4;
    c.spoil(rec);
    CompensationSettings compensation = NoDelays();
    compensation.G1 = 10, compensation.mode = CompensationMode::CommandOnly;
    FCRecord FC;
    FC.slot = 1, FC.nLast = 300;
    CollectingSink warnings;
    EXPECT_FALSE(DetectMeander(rec, c.k, compensation, {}, FC, warnings)) << c.name;
    ASSERT_EQ(warnings.size(), 1u) << c.name;
    EXPECT_THAT(warnings[0], HasSubstr(c.message)) << c.name;
    EXPECT_EQ(FC.slot, 0) << c.name;
    EXPECT_EQ(rec.Gfile[1], 4) << c.name;
  }
}

// Settings that would divide by zero put no infinity or NaN into the record
// or the step values; each is reported once.
TEST(DetectMeander, SettingsThatDivideByZeroAreReported) {
  struct Case {
    const char* name;
    double G1, Mg, gNMDA, Gain;
    const char* message;
  } cases[] = {
      {"G1 = -Gcom", -4, 0, 0, 0.5, "left uncompensated"},
      {"1 + Gfile Gain R1 = 0", 10, 0, 0, -2.5, "cannot be compensated"},
      {"negative Mg", 0, -3.57, 1, 1, "negative Mg"},
      {"G1 too small to invert", 1e-320, 0, 0, 1, "too small to invert"},
  };
  for (const Case& c : cases) {
    Recording rec = MeanderRecording(3);
    if (c.gNMDA > 0) {
      rec.par.ClampWave = {.GEamp = 1, .gNMDAamp = c.gNMDA, .EI = -75, .WaveKind = 5, .WaveAlways = 1};
    }
    rec.Gfile[1] = 4, rec.Ifile[1] = 50, rec.Gain = c.Gain;
    CompensationSettings compensation = NoDelays();
    compensation.mode = CompensationMode::CommandOnly, compensation.G1 = c.G1;
    EstimationsWindowSettings estimations;
    estimations.nmda.Mg = c.Mg;
    FCRecord FC;
    CollectingSink warnings;
    ASSERT_TRUE(DetectMeander(rec, 1, compensation, estimations, FC, warnings)) << c.name;
    ASSERT_EQ(warnings.size(), 1u) << c.name;
    EXPECT_THAT(warnings[0], HasSubstr(c.message)) << c.name;
    for (int i = 0; i <= 300; ++i) {
      ASSERT_TRUE(std::isfinite(FC.V[i]) && std::isfinite(FC.I[i]) && std::isfinite(FC.G[i]))
          << c.name << " sample " << i;
    }
    EXPECT_TRUE(std::isfinite(rec.Gfile[1]) && std::isfinite(rec.Ifile[1])) << c.name;
  }
}

}  // namespace
}  // namespace velmora
