#include "spikes/FICurves.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>


namespace velmora {
namespace {

// A spike list as detection leaves it: peaks at `peaksMs`, each detected at
// its peak, the stimulus starting at tOn (ms).
SpikeList Train(double tOn, const std::vector<double>& peaksMs) {
  SpikeList s;
  s.tAP[0] = tOn / 1000;
  double previous = tOn;
  for (double t : peaksMs) {
    const int k = ++s.nSpikes;
    s.tAP[k] = t / 1000;
    s.ISI[k] = (t - previous) / 1000;
    previous = t;
    s.VT[k] = -50, s.Vpeak[k] = 30, s.VAHP[k] = -60, s.VAHPfast[k] = -55, s.WidthAP[k] = 1, s.Vav[k] = -62;
  }
  return s;
}

// The options one at a time, from a neutral start.
FISettings Plain() {
  FISettings s;
  s.CutTrain = false;
  return s;
}

TEST(InverseInterval, IntervalsUnderOneMillisecondGiveZero) {
  const std::pair<double, double> cases[] = {{0.5, 2}, {0.001, 1000}, {0.000999, 0}, {0, 0}, {-0.1, 0}};
  for (const auto& [x, rate] : cases) EXPECT_DOUBLE_EQ(InverseInterval(x), rate) << x;
}

// Only spikes within L of the first analysed sample count, spike 1 always,
// and the stimulus window ends at tOn + L.
TEST(AnalyseTrain, IntervalLimitCutsLaterSpikesButNeverTheFirst) {
  struct Case {
    const char* name;
    double L;
    std::vector<double> peaks;
    int nSpikes;
    double tOff;
  };
  const Case cases[] = {
      {"limit inside the train", 300, {150, 250, 350, 450}, 2, 400},
      {"first spike after the limit stays", 300, {350, 450}, 1, 400},
      {"default limit never acts", 8888888, {150, 250, 350, 450}, 4, 900},
      {"window shorter than the limit", 900, {150, 250, 350, 450}, 4, 900},
  };
  for (const Case& c : cases) {
    SpikeList s = Train(100, c.peaks);
    FISettings o = Plain();
    o.LimitInterval = c.L;
    double tOff = 900;
    const TrainFI t = AnalyseTrain(s, 100, tOff, o);
    EXPECT_EQ(s.nSpikes, c.nSpikes) << c.name;
    EXPECT_EQ(t.nTrain, c.nSpikes) << c.name;
    EXPECT_DOUBLE_EQ(tOff, c.tOff) << c.name;
  }
}

TEST(AnalyseTrain, BreakRuleFindsSilentTailsAndIntervalJumps) {
  struct Case {
    const char* name;
    std::vector<double> peaks;
    double tOff;
    int nTrain;
  };
  const Case cases[] = {
      // Fifth interval more than five times the fourth: four spikes in the train.
      {"jump", {110, 120, 130, 140, 200}, 210, 4},
      // Latency and the first two intervals are never the larger one.
      {"long latency", {200, 210, 220, 230}, 240, 4},
      {"long second interval", {110, 200, 210, 220}, 230, 4},
      {"long third interval", {110, 120, 200, 210}, 220, 4},
      // More than F times the interval before the last spike, after it.
      {"silent tail", {110, 120, 130}, 900, 2},
      {"short tail", {110, 120, 130}, 170, 3},
      {"one spike has no tail rule", {110}, 900, 1},
  };
  for (const Case& c : cases) {
    SpikeList s = Train(100, c.peaks);
    FISettings o = Plain();
    o.CutTrain = true;
    o.CutFactor = 5;
    double tOff = c.tOff;
    const TrainFI t = AnalyseTrain(s, 100, tOff, o);
    EXPECT_EQ(t.nTrain, c.nTrain) << c.name;
    EXPECT_EQ(s.nSpikes, static_cast<int>(c.peaks.size())) << c.name;  // nSpikes stays
    EXPECT_EQ(t.broken, c.nTrain != s.nSpikes) << c.name;
  }
  // Without the box nothing breaks.
  SpikeList s = Train(100, {110, 120, 130, 140, 200});
  double tOff = 900;
  EXPECT_EQ(AnalyseTrain(s, 100, tOff, Plain()).nTrain, 5);
}

TEST(AnalyseTrain, NuLastOptions) {
  struct Case {
    const char* name;
    std::vector<double> peaks;
    double tOff;
    bool third, twoThirds;
    double nMin;
    double nuLast;
  };
  const Case cases[] = {
      // nSpikes over the time from tOn to the last spike of the train.
      {"default", {200, 300, 400, 500}, 1000, false, false, 2, 4 / 0.4},
      {"one spike is not above nMin", {200}, 1000, false, false, 2, 0},
      {"three spikes above nMin 2", {200, 300, 400}, 1000, false, false, 2, 3 / 0.3},
      {"three spikes not above nMin 3", {200, 300, 400}, 1000, false, false, 3, 0},
      // T = 900: two thirds end at 700 ms; three spikes after spike 2 at 400.
      {"last third", {200, 400, 750, 850, 950}, 1000, true, false, 2, 3 / 900.0 * 1000 * 3},
      {"last third, all early", {200, 300, 400}, 1000, true, false, 2, 0},
      // m starts at the last spike: a train firing only late also gives 0.
      {"last third, all late", {150, 750, 850}, 1000, true, false, 2, 0},
      // One third ends at 400 ms: three spikes after spike 2 at 300.
      {"last two thirds", {200, 300, 500, 600, 700}, 1000, false, true, 2, 3 / 900.0 * 1000 * 3 / 2},
      {"both boxes: two thirds wins", {200, 300, 500, 600, 700}, 1000, true, true, 2, 3 / 900.0 * 1000 * 3 / 2},
      // An empty stimulus window has no late rate (not a division by zero).
      {"empty window", {}, 100, true, false, 2, 0},
  };
  for (const Case& c : cases) {
    SpikeList s = Train(100, c.peaks);
    FISettings o = Plain();
    o.nuLastLastThird = c.third;
    o.nuLastLastTwoThirds = c.twoThirds;
    o.nuLastMinSpikes = c.nMin;
    double tOff = c.tOff;
    const double nuLast = AnalyseTrain(s, 100, tOff, o).nuLast;
    EXPECT_FALSE(std::isnan(nuLast)) << c.name;
    EXPECT_NEAR(nuLast, c.nuLast, 1e-9) << c.name;
  }
}

TEST(AnalyseTrain, ZeroingOptionsActOnBrokenTrainsOnly) {
  for (bool broken : {false, true}) {
    SpikeList s = Train(100, broken ? std::vector<double>{110, 120, 130, 140, 200} : std::vector<double>{110, 120});
    FISettings o = Plain();
    o.CutTrain = true;
    o.nuLastMinSpikes = 0;
    o.nuLastZeroOnBreak = true;
    o.ZeroOnBreak = true;
    double tOff = broken ? 210 : 125;
    const TrainFI t = AnalyseTrain(s, 100, tOff, o);
    EXPECT_EQ(t.broken, broken);
    EXPECT_EQ(t.nuLast == 0, broken) << "broken " << broken;
    for (int k = 1; k <= s.nSpikes; ++k) {
      const double expected = broken ? 0 : -50;
      EXPECT_EQ(s.VT[k], expected) << "broken " << broken << " spike " << k;
      EXPECT_EQ(s.Vpeak[k] + s.VAHP[k] + s.VAHPfast[k] + s.WidthAP[k] + s.Vav[k], broken ? 0 : 30 - 60 - 55 + 1 - 62)
          << "broken " << broken << " spike " << k;
      EXPECT_GT(s.tAP[k], 0) << "tAP stays";
      EXPECT_GT(s.ISI[k], 0) << "ISI stays";
    }
  }
}

TEST(PlotSweepFI, SeriesAccumulateAndSilentSweepsAddNothing) {
  struct Charts {
    Chart fiCurrent, fiConductance;
  };
  Charts charts;
  const SpikeList three = Train(100, {110, 130, 160});
  PlotSweepFI(charts.fiCurrent, charts.fiConductance, SpikeList(), FISweep{1, 5, 50, 0, 0, 0});
  for (const Series& s : charts.fiCurrent.series) EXPECT_TRUE(s.points.empty()) << s.title;
  PlotSweepFI(charts.fiCurrent, charts.fiConductance, three, FISweep{2, 10, 100, 3, 3, 25});
  PlotSweepFI(charts.fiCurrent, charts.fiConductance, three, FISweep{3, 20, 200, 3, 3, 30});

  const Series* isi0 = FindSeries(charts.fiCurrent, "ISI[0]");
  ASSERT_NE(isi0, nullptr);
  EXPECT_EQ(isi0->points, (std::vector<ChartPoint>{{100, 100}, {200, 100}}));  // inverse latency, 10 ms
  EXPECT_EQ(isi0->color, kRed);
  EXPECT_EQ(FindSeries(charts.fiCurrent, "ISI[2]")->points.size(), 2u);
  EXPECT_TRUE(FindSeries(charts.fiCurrent, "ISI[3]")->points.empty());  // no fourth interval
  const Series* n = FindSeries(charts.fiCurrent, "N of spikes");
  EXPECT_EQ(n->points, (std::vector<ChartPoint>{{100, 3}, {200, 3}}));
  EXPECT_EQ(n->yAxis, AxisSide::Right);
  EXPECT_EQ(FindSeries(charts.fiCurrent, "nu_Last")->points, (std::vector<ChartPoint>{{100, 25}, {200, 30}}));
  EXPECT_EQ(FindSeries(charts.fiConductance, "N of spikes")->points, (std::vector<ChartPoint>{{10, 3}, {20, 3}}));
  EXPECT_EQ(FindSeries(charts.fiConductance, "nu_Last")->points, (std::vector<ChartPoint>{{10, 25}, {20, 30}}));

  // Intervals of spikes an interval limit cut off are not the sweep's.
  Charts cut;
  PlotSweepFI(cut.fiCurrent, cut.fiConductance, three, FISweep{1, 0, 0, 1, 1, 0});
  EXPECT_EQ(FindSeries(cut.fiCurrent, "ISI[0]")->points.size(), 1u);
  EXPECT_TRUE(FindSeries(cut.fiCurrent, "ISI[1]")->points.empty());
}

}  // namespace
}  // namespace velmora
