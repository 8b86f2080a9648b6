#include "analyses/Splitting.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TempDir.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using ::testing::Each;
using testing::TempDir;

constexpr double kDt = 0.001;  // s

// Two traces as if marked: voltages as given, smoothed with the settings.
MarkedTraces Marked(const std::vector<double>& V1, const std::vector<double>& V2, const SplitSettings& s) {
  MarkedTraces m;
  m.V1Mark = V1;
  m.V2Mark = V2;
  m.nV1 = static_cast<int>(V1.size()) - 1;
  m.nV2 = static_cast<int>(V2.size()) - 1;
  SmoothMarkedTraces(m, s);
  return m;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(text.substr(at, end - at));
  return lines;
}

// The worked example: with VE = 0, VI = -75, GL = 0 and I2 = -40 pA, traces
// at -60 and -70 mV carry GE = 0.8 nS and GI = 3.2 nS; the file has five
// columns of width 8 with 3 decimals, blank-separated, CR LF, no header.
TEST(SplitFromTwoTraces, WorkedExampleGivesGE08AndGI32) {
  TempDir dir;
  const SplitSettings s;
  MarkedTraces m = Marked({-60, -60, -60}, {-70, -70, -70}, s);
  SplitCharts charts;
  const auto split = SplitFromTwoTraces(m, s, kDt, 1, charts, dir.path());
  ASSERT_TRUE(split);
  EXPECT_EQ(*split, 3);
  EXPECT_DOUBLE_EQ(m.SplitGE[2], 0.8);
  EXPECT_DOUBLE_EQ(m.SplitGI[2], 3.2);
  EXPECT_EQ(dir.Read("Varnel_GE_GI.dat"),
            "   0.000    0.800    3.200  -60.000  -70.000\r\n"
            "   0.001    0.800    3.200  -60.000  -70.000\r\n"
            "   0.002    0.800    3.200  -60.000  -70.000\r\n");
  EXPECT_THAT(FindSeries(charts.conductance, "GE")->points,
              ElementsAre(ChartPoint{0, 0.8}, ChartPoint{kDt, 0.8}, ChartPoint{2 * kDt, 0.8}));
}

// The electrode drop I2 Ra comes off the second trace before the split; the
// file keeps the voltage as recorded.
TEST(SplitFromTwoTraces, AccessResistanceDropIsTakenOffTheSecondTraceOnly) {
  TempDir dir;
  SplitSettings s;
  s.Ra = 250;  // MOhm: -40 pA drops -10 mV
  MarkedTraces m = Marked({-60}, {-80}, s);
  SplitCharts charts;
  ASSERT_TRUE(SplitFromTwoTraces(m, s, kDt, 1, charts, dir.path()));
  EXPECT_EQ(dir.Read("Varnel_GE_GI.dat"), "   0.000    0.800    3.200  -60.000  -80.000\r\n");
}

// Where the two balances coincide (D = 0) the sample repeats the one before;
// identical traces give 0 from the first sample on, never NaN.
TEST(SplitFromTwoTraces, DegenerateSampleRepeatsThePreviousResult) {
  TempDir dir;
  const SplitSettings s;
  SplitCharts charts;
  MarkedTraces same = Marked({-60, -61, -62}, {-60, -61, -62}, s);
  ASSERT_TRUE(SplitFromTwoTraces(same, s, kDt, 1, charts, dir.path()));
  EXPECT_THAT(same.SplitGE, Each(0.0));
  EXPECT_THAT(same.SplitGI, Each(0.0));

  MarkedTraces middle = Marked({-60, -65, -60}, {-70, -65, -70}, s);
  ASSERT_TRUE(SplitFromTwoTraces(middle, s, kDt, 1, charts, dir.path()));
  EXPECT_DOUBLE_EQ(middle.SplitGE[1], 0.8);
  EXPECT_DOUBLE_EQ(middle.SplitGI[1], 3.2);
}

// The shift pairs V1[k] with V2[k + shift] and the range shrinks to where
// both exist; the plotting step keeps k = 0 and its multiples, and a step of
// 0 is taken as 1.
TEST(SplitFromTwoTraces, ShiftAndPlottingStepChooseTheWrittenSamples) {
  struct Case {
    double shiftMs;
    int step;
    std::vector<std::string> times;
  };
  const std::vector<double> V1(7, -60), V2(7, -70);
  for (const Case& c : {Case{0, 0, {"0.000", "0.001", "0.002", "0.003", "0.004", "0.005", "0.006"}},
                        Case{0, 3, {"0.000", "0.003", "0.006"}},
                        Case{-2, 1, {"0.002", "0.003", "0.004", "0.005", "0.006"}},
                        Case{-1.5, 2, {"0.002", "0.004", "0.006"}},
                        Case{2, 2, {"0.000", "0.002", "0.004"}},
                        Case{8, 1, {}}}) {
    TempDir dir;
    SplitSettings s;
    s.timeShift = c.shiftMs;
    MarkedTraces m = Marked(V1, V2, s);
    SplitCharts charts;
    const auto split = SplitFromTwoTraces(m, s, kDt, c.step, charts, dir.path());
    ASSERT_TRUE(split) << "shift " << c.shiftMs;
    std::vector<std::string> times;
    if (*split > 0)
      for (const std::string& line : Lines(dir.Read("Varnel_GE_GI.dat"))) times.push_back(line.substr(3, 5));
    EXPECT_EQ(times, c.times) << "shift " << c.shiftMs << " step " << c.step;
    EXPECT_EQ(std::filesystem::exists(dir / "Varnel_GE_GI.dat"), !c.times.empty()) << "shift " << c.shiftMs;
  }
}

// The smoothing runs in place, so each sample sees its smoothed predecessor;
// a weight of 0 or no iteration leaves the traces as marked.
TEST(SmoothMarkedTraces, RecursiveLowPassOrNothing) {
  struct Case {
    double w, iterations;
    std::vector<double> V1Filt;
  };
  for (const Case& c : {Case{0, 3, {0, 8, 0}}, Case{0.5, 0, {0, 8, 0}}, Case{0.5, 0.9, {0, 8, 0}},
                        Case{0.5, 1, {0, 4, 2}}, Case{0.5, 2, {0, 2, 2}}}) {
    SplitSettings s;
    s.filterWeight = c.w;
    s.Iterations = c.iterations;
    const MarkedTraces m = Marked({0, 8, 0}, {0, 8, 0}, s);
    EXPECT_EQ(m.V1Filt, c.V1Filt) << "w " << c.w << " iterations " << c.iterations;
    EXPECT_EQ(m.V2Filt, c.V1Filt) << "w " << c.w << " iterations " << c.iterations;
    EXPECT_EQ(m.V1Mark, (std::vector<double>{0, 8, 0}));
  }
}

// Marking the first trace copies CmdScale into GL; the second trace, not
// yet marked, takes the first's length and holds zeros; a constant voltage
// fills the second trace as long as the first.
TEST(MarkTraces, FirstMarkGivesGLAndLengthOfTheSecond) {
  Recording rec;
  rec.par.StepPars.CmdScale = 2.5;
  rec.traces[1].nLast = 2;
  rec.traces[1].V = {-60, -61, -62};
  rec.traces[2].nLast = 1;
  rec.traces[2].V = {-70, -71};
  MarkedTraces m;
  SplitSettings s;
  EXPECT_EQ(MarkTraceAtZeroCurrent(m, rec, 1), 2.5);
  EXPECT_EQ(m.nV1, 2);
  EXPECT_EQ(m.nV2, 2);
  EXPECT_EQ(m.V2Mark, (std::vector<double>{0, 0, 0}));

  MarkTraceAtCurrent(m, rec, 2);
  EXPECT_EQ(m.nV2, 1);
  EXPECT_EQ(m.V2Mark, (std::vector<double>{-70, -71, 0}));

  s.Vconst = -75;
  SetConstantVoltage(m, s);
  EXPECT_EQ(m.nV2, 2);
  EXPECT_EQ(m.V2Mark, (std::vector<double>{-75, -75, -75}));
}

// Nothing marked yet: no overlap, nothing drawn or written, no crash.
TEST(SplitFromTwoTraces, NothingMarkedWritesNothing) {
  TempDir dir;
  MarkedTraces m;
  SplitCharts charts;
  DrawMarkedTraces(m, {}, kDt, 1, charts.voltage);
  const auto split = SplitFromTwoTraces(m, {}, kDt, 1, charts, dir.path());
  ASSERT_TRUE(split);
  EXPECT_EQ(*split, 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "Varnel_GE_GI.dat"));
}

}  // namespace
}  // namespace velmora
