#include "analyses/Lissajous.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace velmora {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// Slot 1 holds V and Ireal; FC mirrors them with V + 1, Ireal * 2, the
// meander 10 pA and the states given, unless `withFC` is false.
struct Fixture {
  Recording rec;
  FCRecord FC;
  Fixture(double dt, std::vector<double> V, std::vector<double> Ireal, std::vector<std::int32_t> State,
          bool withFC = true) {
    rec.dt = dt;
    SweepSlot& s = rec.traces[1];
    s.nLast = static_cast<int>(V.size()) - 1;
    s.V = V;
    s.Ireal = Ireal;
    if (!withFC) return;
    FC.V = V;
    FC.Ireal = Ireal;
    FC.State = State;
    FC.Meander.assign(V.size(), 10);
  }
};

std::vector<double> Ys(const Series& s) {
  std::vector<double> y;
  for (const ChartPoint& p : s.points) y.push_back(p.y);
  return y;
}

// dI/dV from rising samples only: a flat or falling sample adds no point and
// leaves the filter as it was. tau_filt 0 plots the raw slope, tau_filt
// equal to the step gives weight 1 (y jumps to each r), twice the step 0.5.
TEST(DrawDIdV, FilterFollowsTheSlopeOnRisingSamplesOnly) {
  const double dt = 1e-4;  // s: 0.1 ms
  //              s:  0  1  2  3  4   5   6
  Fixture f(dt, {0, 1, 2, 2, 3, 4, 3.5}, {0, 2, 6, 6, 14, 16, 26}, {0, 0, 3, 3, 0, 3, 3});
  struct Case {
    double tau_filt;
    std::vector<double> y;
  };
  for (const Case& c : {Case{0, {2, 4, 8, 2}}, Case{dt * 1000, {2, 4, 8, 2}}, Case{2 * dt * 1000, {1, 2.5, 5.25, 3.625}}}) {
    LissajousCharts charts;
    NullSink warnings;
    DrawDIdV(f.rec, 1, f.FC, {.tStart = -1, .tEnd = 100, .tau_filt = c.tau_filt}, charts, warnings);
    EXPECT_TRUE(charts.dIdVShown);
    const Series& filtered = *FindSeries(charts.dIdV, "dI/dVm");
    EXPECT_EQ(Ys(filtered), c.y) << "tau_filt " << c.tau_filt;
    ASSERT_EQ(filtered.points.size(), 4u);
    EXPECT_DOUBLE_EQ(filtered.points[2].x, 0.4) << "tau_filt " << c.tau_filt;  // ms
    // Unfiltered, at the rising samples of the positive pulse (state 3): s = 2 and 5.
    EXPECT_EQ(Ys(*FindSeries(charts.dIdV, "dIreal/dVm at PosPulse")), (std::vector<double>{4, 2}))
        << "tau_filt " << c.tau_filt;
  }
}

// A sweep without a firing-clamp record has nothing to differentiate: the
// plot says so instead of reading past the record.
TEST(DrawDIdV, WithoutFiringClampRecordWarnsAndDrawsNothing) {
  Fixture f(1e-3, {0, 1, 2}, {0, 1, 2}, {}, false);
  LissajousCharts charts;
  CollectingSink warnings;
  DrawDIdV(f.rec, 1, f.FC, {.tStart = -1, .tEnd = 100}, charts, warnings);
  EXPECT_THAT(FindSeries(charts.dIdV, "dI/dVm")->points, IsEmpty());
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_THAT(warnings[0], HasSubstr("no firing-clamp record covers sweep 1"));
}

// Only tStart < t < tEnd is plotted, the phase plot from sample 1 on; the
// firing-clamp series need a record that covers the sweep.
TEST(DrawLissajous, PlotsTheOpenWindowAndSkipsAMissingRecord) {
  for (const bool withFC : {true, false}) {
    //                s:   0    1    2    3    4    5
    Fixture f(1e-3, {-70, -69, -67, -64, -60, -55}, {0, 10, 20, 30, 40, 50}, {0, 0, 0, 0, 0, 0}, withFC);
    LissajousCharts charts;
    DrawLissajous(f.rec, 1, f.FC, {.tStart = 2, .tEnd = 5}, charts);  // ms: samples 3 and 4
    const Chart& c = charts.current;
    EXPECT_THAT(FindSeries(c, "I vs. V")->points, ElementsAre(ChartPoint{-64, 30}, ChartPoint{-60, 40}));
    EXPECT_THAT(FindSeries(charts.phase, "V-dVdt")->points, ElementsAre(ChartPoint{-64, 3}, ChartPoint{-60, 4}));
    if (withFC) {
      EXPECT_THAT(FindSeries(c, "Ireal vs. V")->points, ElementsAre(ChartPoint{-64, 30}, ChartPoint{-60, 40}));
      EXPECT_THAT(FindSeries(c, "Ireal-Meander vs. Vm")->points,
                  ElementsAre(ChartPoint{-64, 20}, ChartPoint{-60, 30}));
      EXPECT_EQ(FindSeries(c, "Ireal-Meander vs. Vm")->yAxis, AxisSide::Right);
    } else {
      for (const char* title : {"Ireal vs. V", "Ireal-Meander vs. Vm", "I vs. Vm"})
        EXPECT_THAT(FindSeries(c, title)->points, IsEmpty()) << title;
    }
  }
}

// Start = End plots nothing; after a change of "End, ms" the window is at
// least 10 ms long.
TEST(DrawLissajous, EmptyWindowAndTheTenMillisecondRule) {
  Fixture f(1e-3, {-70, -69, -67, -64}, {0, 10, 20, 30}, {0, 0, 0, 0});
  LissajousCharts charts;
  DrawLissajous(f.rec, 1, f.FC, {.tStart = 2, .tEnd = 2}, charts);
  EXPECT_THAT(FindSeries(charts.current, "I vs. V")->points, IsEmpty());
  EXPECT_THAT(FindSeries(charts.phase, "V-dVdt")->points, IsEmpty());
  EXPECT_EQ(LissajousEnd(20, 20), 30);
  EXPECT_EQ(LissajousEnd(20, 25), 30);
  EXPECT_EQ(LissajousEnd(20, 50), 50);
}

}  // namespace
}  // namespace velmora
