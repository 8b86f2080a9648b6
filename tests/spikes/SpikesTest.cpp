#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "numeric/MathMy.h"
#include "spikes/Spikes.h"

namespace velmora {
namespace {

constexpr double kDt = 1e-4;  // s: h = 0.1 ms, so the 0.1 ms smoothing of d2 takes each new value whole

// Writes a spike whose rise starts after sample s: peak at s + 4, detected at
// s + 5 (the first sample after the concave top), below V_min again at s + 8.
void AddSpike(std::vector<double>& V, int s, double peak = 20) {
  const double shape[] = {-50, -30, 0, peak, peak - 10, -10, -30, -50};
  std::copy(std::begin(shape), std::end(shape), V.begin() + s + 1);
}

// Slot 1 holds V; tOn, tOff in ms.
Recording Sweep(std::vector<double> V, double tOn, double tOff, double t0 = 0) {
  Recording rec;
  rec.dt = kDt, rec.t0 = t0, rec.tOn = tOn, rec.tOff = tOff;
  SweepSlot& slot = rec.traces[1];
  slot.nLast = static_cast<int>(V.size()) - 1;
  slot.V = std::move(V);
  return rec;
}

// Rest at -60 mV, one spike after sample 100, -65 mV from sample 109 on.
std::vector<double> IsolatedSpike() {
  std::vector<double> V(1000, -60);
  AddSpike(V, 100);
  std::fill(V.begin() + 109, V.end(), -65);
  return V;
}

struct StepCase {
  const char* name;
  SpikeState before;
  double tLast, V2, V1, V, t, dt;
  SpikeState after;
};

void CheckSteps(const SpikeCriteriaRec& criteria, std::initializer_list<StepCase> cases) {
  for (const StepCase& c : cases) {
    SpikeState state = c.before;
    double tLast = c.tLast;
    SpikeStep(criteria, c.dt, tLast, state, c.V2, c.V1, c.V, c.t);
    EXPECT_EQ(state, c.after) << c.name;
    EXPECT_EQ(tLast, c.after == SpikeState::Detected ? c.t : c.tLast) << c.name;
  }
}

// No detection may fall within 1 ms of the previous one, and the state after a
// detection must start over.
TEST(SpikeStep, RefractoryTimeIsOneMillisecond) {
  using enum SpikeState;
  CheckSteps({}, {{"steep rise 0.5 ms after a detection", Rising, 0.010, -60, -40, -10, 0.0105, kDt, Idle},
                  {"steep rise 1 ms after a detection", Rising, 0.010, -60, -40, -10, 0.010 + 0.001, kDt, Rising},
                  {"sample after a detection", Detected, 0.010, -60, -40, -10, 0.5, kDt, Idle}});
}

// A voltage exactly at V_min neither arms, nor starts a rise, nor lets a top be detected.
TEST(SpikeStep, VoltageAtVminChangesNothing) {
  using enum SpikeState;
  CheckSteps({}, {{"idle", Idle, -888, -60, -60, -35, 0.5, kDt, Idle},
                  {"armed, steep", Armed, -888, -60, -50, -35, 0.5, kDt, Armed},
                  {"rising, concave", Rising, -888, -40, -34, -35, 0.5, kDt, Rising}});
}

// With dt = 1/1024 s the backward slope (V - V1) / dt / 1000 is exactly 16 mV/ms: a
// slope equal to dVdt_min is a stopped rise, so a concave top is detected there.
TEST(SpikeStep, SlopeAtMinimumIsAStoppedRise) {
  using enum SpikeState;
  const SpikeCriteriaRec criteria{.V_min = -35, .dVdt_min = 16, .d2Vdt2_min = 2};
  const double dt = 1.0 / 1024;  // second difference -4.375 mV -> -4.59 mV/ms^2
  CheckSteps(criteria, {{"rising, slope = dVdt_min", Rising, -888, -50, -30, -14.375, 0.5, dt, Detected},
                        {"armed, slope = dVdt_min", Armed, -888, -50, -30, -14.375, 0.5, dt, Armed},
                        {"armed, slope 16.384", Armed, -888, -50, -30, -14, 0.5, dt, Rising}});
}

// Every measure of one clean spike, worked out by hand. The half-width edges are
// extrapolated from the segment before the crossing: up at sample 102.5 (-50 -> -30
// reaches -20), down at 106.5 (10 -> -10). With t0 > 0 only the latency moves: tAP
// and tVT count from the first analysed sample, the detection time does not.
TEST(DetectSpikes, MeasuresIsolatedSpike) {
  for (const double t0 : {0.0, 0.002}) {
    const Recording rec = Sweep(IsolatedSpike(), 5, 100, t0);
    SpikeList list;
    ASSERT_TRUE(DetectSpikes(list, rec, 1, SpikeSettings{}));
    ASSERT_EQ(list.nSpikes, 1) << t0;
    EXPECT_NEAR(list.ISI[1], 0.0105 + t0 - 0.005, 1e-12) << t0;
    EXPECT_EQ(list.VT[1], -60) << t0;          // sample 99, before the curvature maximum
    EXPECT_NEAR(list.tVT[1], 0.0099, 1e-12) << t0;
    EXPECT_EQ(list.Vpeak[1], 20) << t0;
    EXPECT_NEAR(list.tAP[1], 0.0104, 1e-12) << t0;
    EXPECT_NEAR(list.WidthAP[1], 0.4, 1e-9) << t0;  // ms
    EXPECT_EQ(list.VAHP[1], -65) << t0;
    EXPECT_EQ(list.VAHPfast[1], -65) << t0;
    EXPECT_EQ(list.Vav[1], -65) << t0;
    EXPECT_EQ(list.tAP[0], 0.005) << t0;
  }
}

// A spike before the stimulus start is not counted: the latency of the first counted
// spike runs from the stimulus start, and slot 0 takes the early spike's measures
// (its threshold search starts at tOn + 5 samples, sample 125, so tAP[0] = sample 124).
TEST(DetectSpikes, SpikeBeforeStimulusGoesToSlotZero) {
  std::vector<double> V = IsolatedSpike();
  AddSpike(V, 700);
  const Recording rec = Sweep(V, 12, 100);
  SpikeList list;
  ASSERT_TRUE(DetectSpikes(list, rec, 1, SpikeSettings{}));
  ASSERT_EQ(list.nSpikes, 1);
  EXPECT_NEAR(list.ISI[1], 0.0705 - 0.012, 1e-12);
  EXPECT_NEAR(list.tAP[1], 0.0704, 1e-12);
  EXPECT_NEAR(list.tAP[0], 0.0124, 1e-12);
  EXPECT_EQ(list.VT[0], -65);
}

// Detected at sample 97, 3 samples after the stimulus start (sample 94): the search
// would begin at 99, so it makes no pass and the threshold is sample 98. The
// measurement must start at that very sample, although trunc(98 * dt / dt) is 97.
TEST(DetectSpikes, ThresholdSearchStartingAfterDetection) {
  std::vector<double> V(1000, -60);
  AddSpike(V, 92);
  const Recording rec = Sweep(V, 9.4, 100);
  SpikeList list;
  ASSERT_TRUE(DetectSpikes(list, rec, 1, SpikeSettings{}));
  ASSERT_EQ(list.nSpikes, 1);
  EXPECT_EQ(list.VT[1], -10);
  EXPECT_EQ(list.tVT[1], 98 * kDt);
  EXPECT_EQ(list.Vpeak[1], -10);  // from sample 98 the voltage only falls
  EXPECT_EQ(list.tAP[1], 98 * kDt);
  EXPECT_EQ(list.WidthAP[1], 0);  // no half-amplitude crossing: left as cleared
}

// The search skips the costly curvature where it cannot win; on rough
// voltages, where many samples compete, it must still pick the sample that
// computing every curvature picks.
TEST(FindThreshold, ShortcutsPickWhatTheFullSearchPicks) {
  std::mt19937 random(7);
  std::normal_distribution<double> step(0, 1.5);
  int compared = 0;
  for (int trial = 0; trial < 300; ++trial) {
    std::vector<double> V(200);
    double v = -60, slope = 0;
    for (double& x : V) {
      slope = 0.8 * slope + step(random);
      x = v += slope;
    }
    const Recording rec = Sweep(V, 0, 100);
    for (double S : {0.3, 2.0, 15.0}) {
      const int i = 150;
      const double h = kDt * 1000;
      const int start = std::max(5, i - static_cast<int>(std::trunc(0.008 / kDt)));
      double d1 = (V[start + 1] - V[start]) / h;
      double d2 = (V[start + 1] - 2 * V[start] + V[start - 1]) / (h * h);
      double Kmax = 0;
      int mstar = start;
      for (int m = start; m <= i; ++m) {
        d2 = d2 + (h / 0.1) * ((V[m + 1] - 2 * V[m] + V[m - 1]) / (h * h) - d2);
        d1 = d1 + (h / 0.5) * ((V[m + 1] - V[m]) / h - d1);
        if (!(d1 > 1e-6)) continue;
        const double K = d2 / MathMy::PowerXY(d1 * d1 + S * S, 1.5);
        if (K > Kmax) Kmax = K, mstar = m;
      }
      const Threshold t = FindThreshold(SignalOf(rec, 1), i, S);
      ASSERT_EQ(t.iVT, mstar - 1) << "trial " << trial << ", scale " << S;
      compared += mstar > start;
    }
  }
  EXPECT_GT(compared, 500);  // most searches found a maximum past their first sample
}

// In a burst the peak window of a spike ends at the next upstroke (sample 202), so
// the higher second peak does not become the first spike's peak.
TEST(DetectSpikes, BurstPeakWindowEndsAtNextUpstroke) {
  std::vector<double> V(1000, -60);
  AddSpike(V, 100);
  AddSpike(V, 200, 30);
  const Recording rec = Sweep(V, 5, 100);
  SpikeList list;
  ASSERT_TRUE(DetectSpikes(list, rec, 1, SpikeSettings{}));
  ASSERT_EQ(list.nSpikes, 2);
  EXPECT_EQ(list.Vpeak[1], 20);
  EXPECT_NEAR(list.tAP[1], 0.0104, 1e-12);
  EXPECT_NEAR(list.WidthAP[1], 0.4, 1e-9);
  EXPECT_EQ(list.Vpeak[2], 30);
  EXPECT_NEAR(list.ISI[2], 0.01, 1e-12);
}

// VAHPfast is the first sample more than TimeSincePeak (1.05 ms: sample 115) after the
// peak where the fall (the slower of the two one-sided slopes) is slower than -10 mV/ms.
TEST(DetectSpikes, FastAhpWhereFallSlowsAfterTimeSincePeak) {
  struct Case { const char* name; int fastUntil; double expected; };
  for (const Case c : {Case{"slows at sample 120", 120, -20}, Case{"slows at sample 110", 110, -2.5}}) {
    std::vector<double> V(1000, -60);
    AddSpike(V, 100);
    for (int b = 106; b < 1000; ++b)  // -2 mV per sample, then -0.5, down to -65
      V[b] = std::max(-65.0, b <= c.fastUntil ? V[b - 1] - 2 : V[b - 1] - 0.5);
    SpikeSettings settings;
    settings.AHPfast.TimeSincePeak = 0.00105;
    SpikeList list;
    ASSERT_TRUE(DetectSpikes(list, Sweep(V, 5, 100), 1, settings));
    ASSERT_EQ(list.nSpikes, 1) << c.name;
    EXPECT_EQ(list.VAHPfast[1], c.expected) << c.name;
  }
}

// At 4,100 counted spikes further detections are measured into slot 4100 and their
// interval is taken against spike 4099: the last of 4,102 spikes lies 3 periods after it.
TEST(DetectSpikes, CapKeepsLastSpikeInSlot4100) {
  constexpr int kPeriod = 90, kSpikes = kMaxSpikes + 2;  // 9 ms: one spike per threshold search
  std::vector<double> V(100 + kPeriod * kSpikes + 100, -60);
  for (int j = 0; j < kSpikes; ++j) AddSpike(V, 100 + kPeriod * j, j == kSpikes - 1 ? 40 : 20);
  const int lastS = 100 + kPeriod * (kSpikes - 1);
  const Recording rec = Sweep(V, 5, 1e6);
  SpikeList list;
  ASSERT_TRUE(DetectSpikes(list, rec, 1, SpikeSettings{}));
  ASSERT_EQ(list.nSpikes, kMaxSpikes);
  EXPECT_EQ(list.Vpeak[kMaxSpikes], 40);
  EXPECT_NEAR(list.tAP[kMaxSpikes], (lastS + 4) * kDt, 1e-9);
  EXPECT_NEAR(list.ISI[kMaxSpikes], 3 * kPeriod * kDt, 1e-9);
  EXPECT_NEAR(list.ISI[kMaxSpikes - 1], kPeriod * kDt, 1e-9);
}

// Vav must be the plain running mean of the quiet samples after each detection, bit
// for bit, however the scan organises the averaging. The noise puts steps on both
// sides of the 5 mV/ms quiet limit, including steps of exactly 0.5 mV per 0.1 ms.
TEST(DetectSpikes, VavIsRunningMeanOfQuietSamples) {
  constexpr int kSpikes = 19, kN = 3000;
  std::vector<double> V(kN);
  for (int i = 0; i < kN; ++i) V[i] = i % 37 == 1 ? V[i - 1] + 0.5 : -60 + 0.3 * std::sin(i * 1.7);
  for (int j = 0; j < kSpikes; ++j) AddSpike(V, 100 + 150 * j + 7 * (j % 4));
  SpikeList list;
  ASSERT_TRUE(DetectSpikes(list, Sweep(V, 5, 1e3), 1, SpikeSettings{}));
  ASSERT_EQ(list.nSpikes, kSpikes);
  for (int k = 0; k <= kSpikes; ++k) {
    const int detection = k == 0 ? 0 : 100 + 150 * (k - 1) + 7 * ((k - 1) % 4) + 5;
    const int end = k == kSpikes ? kN - 1 : 100 + 150 * k + 7 * (k % 4) + 4;
    const double tLast = k == 0 ? -888 : detection * kDt;
    double mean = 0;
    int m = 0;
    for (int i = detection + 1; i <= end; ++i) {
      const double t = i * kDt;
      if (t - tLast > 0.002 && V[i] < -15 && MathMy::AbsD((V[i] - V[i - 1]) / kDt / 1000) < 5)
        ++m, mean = ((m - 1) * mean + V[i]) / m;
    }
    EXPECT_EQ(list.Vav[k], mean) << "spike " << k;
  }
}

// A firing-clamp recording or SpikesOff = 1 must leave the previous list whole.
TEST(DetectSpikes, SkippedRecordingKeepsList) {
  SpikeList list;
  ASSERT_TRUE(DetectSpikes(list, Sweep(IsolatedSpike(), 5, 100), 1, SpikeSettings{}));
  const SpikeList before = list;
  for (const bool firingClamp : {true, false}) {
    const char* name = firingClamp ? "FiringClampOn" : "SpikesOff";
    Recording rec = Sweep(std::vector<double>(1000, -60), 5, 100);
    (firingClamp ? rec.par.FiringClampOn : rec.par.SpikesOff) = 1;
    EXPECT_FALSE(DetectSpikes(list, rec, 1, SpikeSettings{})) << name;
    EXPECT_EQ(list.nSpikes, 1) << name;
    EXPECT_EQ(list.tAP, before.tAP) << name;
    EXPECT_EQ(list.Vav, before.Vav) << name;
  }
}

// A spike at the very end of a slot: the reads one past the window stop at the last
// sample, so no down-crossing is seen and VAHPfast is taken one sample earlier.
// V shorter than nLast claims counts as ending where V ends.
TEST(DetectSpikes, SpikeAtEndOfSlotReadsNothingPast) {
  struct Case { const char* name; int size, nLast; double VAHPfast; };
  for (const Case c : {Case{"detected at the last sample", 106, 105, 20}, Case{"one sample after", 107, 106, 10},
                       Case{"nLast past V", 106, 900, 20}}) {
    std::vector<double> V = IsolatedSpike();
    V.resize(c.size);
    Recording rec = Sweep(V, 5, 100);
    rec.traces[1].nLast = c.nLast;
    SpikeList list;
    ASSERT_TRUE(DetectSpikes(list, rec, 1, SpikeSettings{}));
    ASSERT_EQ(list.nSpikes, 1) << c.name;
    EXPECT_EQ(list.VT[1], -60) << c.name;
    EXPECT_EQ(list.Vpeak[1], 20) << c.name;
    EXPECT_EQ(list.WidthAP[1], 0) << c.name;
    EXPECT_EQ(list.VAHP[1], -60) << c.name;
    EXPECT_EQ(list.VAHPfast[1], c.VAHPfast) << c.name;
  }
}

// The six series are refilled, not appended to; "VT" keeps its own time axis while
// the others are aligned to the stimulus before them (at 100 ms).
TEST(ShowSpikes, RefillsSixSeriesAlignedToStimuli) {
  SpikeList list;
  list.nSpikes = 1;
  list.tAP[1] = 0.150, list.ISI[1] = 0.020, list.tVT[1] = 0.149;
  list.Vpeak[1] = 30, list.Vav[1] = -62, list.WidthAP[1] = 0.8, list.VT[1] = -40;
  list.VAHP[1] = -70, list.VAHPfast[1] = -55;
  Chart chart;
  ShowSpikes(list, chart, nullptr);
  const std::vector<double> stimTimes{100};
  ShowSpikes(list, chart, &stimTimes);
  const struct { const char* title; ChartPoint point; } expected[] = {
      {"Spikes", {50, 30}}, {"Vav", {40, -62}}, {"WidthAP", {50, 0.8}},
      {"VT", {149, -40}},   {"VAHP", {50, -70}}, {"VAHPfast", {50, -55}}};
  ASSERT_EQ(chart.series.size(), 6u);
  for (const auto& e : expected) {
    const Series* s = FindSeries(chart, e.title);
    ASSERT_NE(s, nullptr) << e.title;
    EXPECT_EQ(s->kind, SeriesKind::Point) << e.title;
    EXPECT_EQ(s->yAxis, std::string(e.title) == "WidthAP" ? AxisSide::Right : AxisSide::Left) << e.title;
    ASSERT_EQ(s->points.size(), 1u) << e.title;
    EXPECT_NEAR(s->points[0].x, e.point.x, 1e-9) << e.title;
    EXPECT_EQ(s->points[0].y, e.point.y) << e.title;
  }
}

}  // namespace
}  // namespace velmora
