#include "modelcell/Cell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "modelcell/Recorder.h"

namespace velmora {
namespace {

// A 1 s current step from 100 ms to 1000 ms on a quiet recorder.
SweepResult Step(double I, double dt = 0.05) {
  RecorderSettings rec;
  rec.dt = dt;
  SweepSpec sweep;
  sweep.duration = 1000;
  sweep.clamp.wave.I0 = I;
  sweep.clamp.tIOn = 100;
  return SimulateSweep(CellParameters{}, rec, sweep, 1, 1);
}

// The analyses are tuned on real cells: below rheobase silence, then a rate
// that rises with the current, with intervals that lengthen as the M current builds.
TEST(ModelCell, FiringRisesWithCurrentAndAdapts) {
  for (const double I : {-50.0, 0.0, 50.0}) EXPECT_TRUE(Step(I).spikeTimes.empty()) << "I = " << I;
  std::size_t previous = 0;
  for (const double I : {150.0, 250.0, 400.0}) {
    const auto t = Step(I).spikeTimes;
    ASSERT_GE(t.size(), 5u) << "I = " << I;
    EXPECT_GT(t.size(), previous) << "I = " << I;
    previous = t.size();
    const double first = t[1] - t[0], last = t[t.size() - 1] - t[t.size() - 2];
    EXPECT_GT(last, 1.5 * first) << "I = " << I << ": no adaptation";
    EXPECT_GE(t.front(), 100) << "I = " << I << ": a spike before the step";
  }
}

// Threshold, overshoot, half-width and AHP are what the spike measures report;
// they must look like a cortical cell's.
TEST(ModelCell, SpikeHasRealisticShape) {
  const SweepResult r = Step(250);
  ASSERT_FALSE(r.spikeTimes.empty());
  const int peak = static_cast<int>(std::lround(r.spikeTimes[0] / r.dt));
  int onset = peak;  // the last sample before the rise exceeds 10 mV/ms
  while ((r.Vm[onset] - r.Vm[onset - 1]) / r.dt > 10) --onset;
  const double VT = r.Vm[onset], Vpeak = r.Vm[peak], half = (VT + Vpeak) / 2;
  int up = peak, down = peak;
  while (r.Vm[up] > half) --up;
  while (r.Vm[down] > half) ++down;
  const double width = (down - up) * r.dt;
  const double VAHP = *std::min_element(r.Vm.begin() + down, r.Vm.begin() + down + static_cast<int>(10 / r.dt));
  const double rest = r.Vm[static_cast<int>(90 / r.dt)];

  EXPECT_GT(VT, -56);
  EXPECT_LT(VT, -44);
  EXPECT_GT(Vpeak, 20);
  EXPECT_GT(width, 0.5);
  EXPECT_LT(width, 2.0);
  EXPECT_LT(VAHP, rest);
}

// Fixed-step integration must not make the cell depend on the sampling rate.
TEST(ModelCell, SpikesDoNotDependOnSamplingRate) {
  const auto at20 = Step(250, 0.05).spikeTimes, at50 = Step(250, 0.02).spikeTimes;
  ASSERT_EQ(at20.size(), at50.size());
  for (std::size_t k = 0; k < at20.size(); ++k) EXPECT_NEAR(at20[k], at50[k], 0.3) << "spike " << k;
}

TEST(ModelCell, RestsWhereItsCurrentsBalance) {
  const CellParameters cell;
  const CellState s = RestingState(cell);
  EXPECT_NEAR(IonicCurrent(s, cell), 0, 1e-6);
  CellState after = s;
  for (int k = 0; k < 20000; ++k) StepCell(after, cell, 0, 0.025);
  EXPECT_NEAR(after.V, s.V, 1e-3);
}

}  // namespace
}  // namespace velmora
