#include "actions/StatisticsRun.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <cmath>
#include <numbers>
#include <random>
#include <utility>
#include <vector>

namespace velmora {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Feeds `x` as one pass, sample by sample, as the driver does.
StatisticsState Feed(const std::vector<double>& x, const StatisticsSettings& settings, double dt = 1e-4) {
  StatisticsState st;
  st.dt = dt;
  for (std::size_t i = 0; i < x.size(); ++i) {
    st.iSample = static_cast<long>(i);
    StatisticsAddSample(st, x[i], settings);
  }
  return st;
}

std::vector<double> Sine(int samples, double period, double offset = -65) {  // period in samples
  std::vector<double> x(samples);
  for (int i = 0; i < samples; ++i) x[i] = offset + 5 * std::sin(2 * std::numbers::pi * i / period);
  return x;
}

// The edges decide which samples a bar shows: the lower limit belongs to the
// first bar, the upper limit to bin n, which is counted but never drawn, and
// every bar is divided by one more than the in-range samples.
TEST(Histogram, LowerLimitInFirstBinUpperLimitInUndrawnBin) {
  StatHist h;
  for (const double x : {-80.0, -50.0, -79.5, -65.0, -90.0, -49.9, -50.0000001}) AddToHistogram(30, h, x, -80, -50);
  ASSERT_EQ(h.counts.size(), 31u);
  EXPECT_EQ(h.counts[0], 2);   // -80 and -79.5
  EXPECT_EQ(h.counts[15], 1);  // -65
  EXPECT_EQ(h.counts[29], 1);  // -50.0000001
  EXPECT_EQ(h.counts[30], 1);  // -50 exactly
  EXPECT_EQ(h.HistTotal, 6);   // 1 + five in range; -90 and -49.9 are out

  StatisticsState st;
  st.hist = h;
  StatisticsWindow window;
  NullSink warnings;
  DrawStatistics(st, window, warnings);
  const auto& bars = window.histogram.series.front().points;
  ASSERT_EQ(bars.size(), 30u);
  EXPECT_EQ(bars[0], (ChartPoint{-80, 2.0 / 6}));
  EXPECT_DOUBLE_EQ(bars[15].x, -65);  // the left edge of its interval
  double shown = 0;
  for (const ChartPoint& p : bars) shown += p.y;
  EXPECT_DOUBLE_EQ(shown, 4.0 / 6);  // the sample at the upper limit is in no bar
}

// Equal limits would divide by zero and n < 1 has no bin: nothing is counted
// and the drawing says why instead of crashing or drawing NaN.
TEST(Histogram, DegenerateSettingsCountNothingAndSaySo) {
  struct Case {
    double lower, upper;
    int n;
    const char* message;
  };
  for (const Case& c : {Case{-60, -60, 30, "lower limit (-60 mV) is not below the upper limit (-60 mV)"},
                        Case{-50, -80, 30, "lower limit (-50 mV) is not below the upper limit (-80 mV)"},
                        Case{-80, -50, 0, "n_intervals is 0, below 1"}}) {
    StatisticsSettings s{.upper = c.upper, .lower = c.lower, .n = c.n, .nt_corr = 2};
    const StatisticsState st = Feed({-60, -60, -61, -59}, s);
    EXPECT_EQ(st.hist.HistTotal, 0) << c.message;
    StatisticsWindow window;
    CollectingSink warnings;
    DrawStatistics(st, window, warnings);
    EXPECT_TRUE(window.histogram.series.front().points.empty()) << c.message;
    ASSERT_EQ(warnings.size(), 1u) << c.message;
    EXPECT_THAT(warnings[0], HasSubstr(c.message));
  }
}

// The ring buffer must give every lag exactly the running mean of the
// shifting buffer, bit for bit, whatever the vector width of the machine.
TEST(Correlation, RingBufferMatchesTheShiftingBufferExactly) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-70, -60);
  std::vector<double> x(700);
  for (double& v : x) v = u(rng);
  for (const int ntCorr : {0, 1, 7, 64, 300}) {
    const StatisticsState st = Feed(x, {.nt_corr = double(ntCorr)});
    std::vector<double> buf(ntCorr + 1), corr(ntCorr + 1, 0.0);
    long n = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
      if (static_cast<int>(i) <= ntCorr) {
        buf[i] = x[i];
        continue;
      }
      ++n;
      for (int m = 0; m < ntCorr; ++m) buf[m] = buf[m + 1];
      buf[ntCorr] = x[i];
      for (int m = 0; m <= ntCorr; ++m) corr[m] = ((n - 1) * corr[m] + buf[0] * buf[m]) / n;
    }
    EXPECT_EQ(st.CorrN, n) << "ntCorr " << ntCorr;
    EXPECT_EQ(st.Corr, corr) << "ntCorr " << ntCorr;
    for (int m = 0; m <= ntCorr; ++m) ASSERT_EQ(CorrBuf(st, m), buf[m]) << "ntCorr " << ntCorr << " m " << m;
  }
}

// A window field of 5000 must not write past the 4001 lags; a negative one
// must not index the buffer from below.
TEST(Correlation, LagsAreCutToTheTable) {
  for (const auto& [field, lags] : std::initializer_list<std::pair<double, int>>{
           {5000.0, 4000}, {4000.9, 4000}, {-3.0, 0}, {std::nan(""), 0}}) {
    const StatisticsState st = Feed(Sine(50, 10), {.nt_corr = field});
    EXPECT_EQ(st.ntCorr, lags) << "nt_corr " << field;
    EXPECT_EQ(st.Corr.size(), static_cast<std::size_t>(lags) + 1) << "nt_corr " << field;
  }
}

// Normalised, the running correlation of a sine is the cosine of the lag,
// and tau follows from lag 2: 2 dt / (1 - cos(2 w dt)). The lags, the
// updates and the samples of the mean all span whole periods, so the
// closed form holds to rounding.
TEST(Correlation, SineGivesCosineAndItsTau) {
  const double period = 50;  // samples
  const double dt = 1e-4;    // s
  const StatisticsState st = Feed(Sine(200'000 + 100 + 1, period), {.nt_corr = 100}, dt);
  ASSERT_EQ(st.CorrN, 200'000);
  StatisticsWindow window;
  CollectingSink warnings;
  DrawStatistics(st, window, warnings);
  EXPECT_EQ(warnings.size(), 0u);
  const auto& corr = window.correlation.series.front().points;
  ASSERT_EQ(corr.size(), 101u);
  for (const int m : {0, 10, 25, 37, 100}) {
    EXPECT_DOUBLE_EQ(corr[m].x, m * dt * 1000) << "lag " << m;
    EXPECT_NEAR(corr[m].y, std::cos(2 * std::numbers::pi * m / period), 1e-6) << "lag " << m;
  }
  const auto tau = StatisticsTau(st);
  ASSERT_TRUE(tau);
  const double expected = 2 * dt / (1 - std::cos(2 * std::numbers::pi * 2 / period));
  EXPECT_NEAR(*tau / expected, 1, 1e-4);
  EXPECT_EQ(window.tauText, " tau = " + fmt::format("{:9.2f}", *tau));
}

// tau needs more than ntCorr + 20 correlation updates, i.e. more than
// 2 ntCorr + 21 samples; one sample short it must not be shown.
TEST(Correlation, TauOnlyAfterMoreThanTwiceNtCorrPlus21Samples) {
  for (const int ntCorr : {2, 5, 40}) {
    const std::vector<double> x = Sine(2 * ntCorr + 22, 17);
    StatisticsSettings s{.nt_corr = double(ntCorr)};
    const StatisticsState shortOfIt = Feed({x.begin(), x.end() - 1}, s);
    EXPECT_FALSE(StatisticsTau(shortOfIt)) << "ntCorr " << ntCorr;
    EXPECT_TRUE(StatisticsTau(Feed(x, s))) << "ntCorr " << ntCorr;
  }
}

// A constant voltage has zero spread: the normalisation and tau would divide
// by zero, so both are skipped with a message; mean and dispersion stand.
TEST(Correlation, ZeroSpreadSkipsCorrelationAndTauWithAMessage) {
  const StatisticsState st = Feed(std::vector<double>(200, -65.3), {.nt_corr = 10});
  StatisticsWindow window;
  CollectingSink warnings;
  DrawStatistics(st, window, warnings);
  EXPECT_TRUE(window.correlation.series.front().points.empty());
  EXPECT_EQ(window.tauText, " tau= ");
  EXPECT_EQ(window.meanText, " Mean =    -65.30");
  EXPECT_EQ(window.dispersionText, " Dispersion =      0.00");
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_THAT(warnings[0], HasSubstr("zero spread"));
}

// The pass covers trunc(tOn/dt)+1 .. trunc(tOff/dt); the accumulators
// restart at its first two samples, so sample 0 of the pass is not in the
// mean; the window shows the last redraw due (every 10 samples), not the
// samples after it; the markers stand at the last multiple of n_Pointer.
TEST(AnalyzeStatistics, DrawsTheLastDueRedrawOfTheWindowSamples) {
  Session session;
  Recording& rec = session.rec;
  rec.dt = 1e-3;  // s
  rec.tOn = 10.5;   // ms: from sample 11
  rec.tOff = 45.5;  // ms: to sample 45
  SweepSlot& slot = rec.traces[1];
  slot.nLast = 60;
  slot.V.assign(61, 1000);  // outside the window: must not count
  slot.Ireal.assign(61, 0);
  for (int s = 11; s <= 45; ++s) slot.V[s] = -60 - (s % 2);
  slot.V[11] = 500;                                      // sample 0 of the pass: dropped by the restart
  for (int s = 42; s <= 45; ++s) slot.V[s] = -20, slot.Ireal[s] = s;  // after the last redraw (iSample 30)
  CollectingSink warnings;
  StatisticsWindow window;
  const StatisticsSettings settings{.nt_corr = 3, .nPointer = 20};
  const StatisticsState st = AnalyzeStatistics(session, 1, settings, window, warnings);

  EXPECT_EQ(st.iSample, 34);
  EXPECT_EQ(window.meanText, " Mean =    -60.50");  // samples 12..41: fifteen -60, fifteen -61
  EXPECT_EQ(window.dispersionText, " Dispersion =      0.50");
  EXPECT_THAT(warnings.statuses, ElementsAre("t=    0.000", "t=    0.010", "t=    0.020", "t=    0.030"));
  EXPECT_THAT(session.charts.voltage.series.front().points, ElementsAre(ChartPoint{40, -60}));
  EXPECT_THAT(session.charts.current.series.front().points, ElementsAre(ChartPoint{40, 0}));
}

// A window without samples (no sweep, or tOff before tOn) must say so and
// draw nothing rather than index the sweep out of range.
TEST(AnalyzeStatistics, EmptyWindowWarns) {
  Session session;
  session.rec.dt = 1e-3;
  session.rec.tOn = 50;
  session.rec.tOff = 20;
  session.rec.traces[1].nLast = 100;
  session.rec.traces[1].V.assign(101, -60);
  session.rec.traces[1].Ireal.assign(101, 0);
  CollectingSink warnings;
  StatisticsWindow window;
  AnalyzeStatistics(session, 1, {}, window, warnings);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_THAT(warnings[0], HasSubstr("no sample of sweep 1 inside the stimulation window 50 .. 20 ms"));
  EXPECT_TRUE(window.correlation.series.front().points.empty());
}

}  // namespace
}  // namespace velmora
