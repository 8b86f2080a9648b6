#include "firingclamp/Averaging.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "firingclamp/EstimateFC.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using ::testing::HasSubstr;

// Pulses at the given times (ms) with Iest = 10 * time, z1 = time.
Pulses PulsesAt(const std::vector<double>& times) {
  Pulses p;
  const int n = static_cast<int>(times.size());
  SizePulseArrays(p, n + 1);
  p.nPulses = n;
  for (int j = 1; j <= n; ++j) {
    p.tPulse[j] = times[j - 1];
    p.Iest[j] = 10 * times[j - 1];
    p.z1[j] = times[j - 1];
  }
  return p;
}

std::vector<ChartPoint> MeanI(const EstimationCharts& charts) {
  return FindSeries(charts.current, "mean_Estim_I")->points;
}

// Bins are centred on multiples of dt_av from t0 on; a pulse half-way
// between two centres goes to the even bin, and empty bins draw nothing.
TEST(AverageEstimates, BinsByNearestCentreHalvesToEven) {
  struct Case {
    double t;
    int bin;
  } cases[] = {{1000, 0}, {1004.9, 0}, {1005, 0}, {1015, 2}, {1025, 2}, {1035, 4}, {1035.1, 4}, {1044.9, 4}};
  for (const Case& c : cases) {
    EstimationCharts charts = MakeEstimationCharts();
    NullSink warnings;
    const Averages av = AverageEstimates(PulsesAt({c.t}), 1.0, 10, charts, warnings);  // t0 = 1 s
    ASSERT_EQ(av.nBins, c.bin) << c.t;
    EXPECT_EQ(av.count[c.bin], 1) << c.t;
    ASSERT_EQ(MeanI(charts).size(), 1u) << c.t;
    EXPECT_EQ(MeanI(charts)[0], (ChartPoint{1000.0 + 10 * c.bin, 10 * c.t})) << c.t;
  }

  EstimationCharts charts = MakeEstimationCharts();
  NullSink warnings;
  const Averages av = AverageEstimates(PulsesAt({0, 4, 31, 36}), 0, 10, charts, warnings);
  EXPECT_EQ(av.count, (std::vector<int>{2, 0, 0, 1, 1}));
  EXPECT_DOUBLE_EQ(av.MeanIest[0], 20);
  EXPECT_DOUBLE_EQ(av.MeanZ1[0], 2);
  EXPECT_EQ(MeanI(charts), (std::vector<ChartPoint>{{0, 20}, {30, 310}, {40, 360}}));
}

// A small dt_av over a long recording must not write past the bins, and
// must say how many pulses it left out.
TEST(AverageEstimates, PulsesBeyondTheLastBinAreLeftOutWithAMessage) {
  EstimationCharts charts = MakeEstimationCharts();
  CollectingSink warnings;
  const Averages av = AverageEstimates(PulsesAt({5, 10000, 10000.4, 10000.6, 25000}), 0, 1, charts, warnings);
  EXPECT_EQ(av.nBins, kMaxAverageBin);
  EXPECT_EQ(av.count[kMaxAverageBin], 2);
  EXPECT_EQ(MeanI(charts).size(), 2u);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_THAT(warnings[0], HasSubstr("2 of 5 pulses lie outside the averaging bins 0..10000"));
}

// dt_av = 0 would divide by zero: nothing is averaged, the old means are
// cleared, and the user is told why.
TEST(AverageEstimates, NonPositiveWidthAveragesNothingAndSaysSo) {
  for (const double dt_av : {0.0, -5.0}) {
    EstimationCharts charts = MakeEstimationCharts();
    NullSink quiet;
    AverageEstimates(PulsesAt({1, 2}), 0, 10, charts, quiet);
    CollectingSink warnings;
    const Averages av = AverageEstimates(PulsesAt({1, 2}), 0, dt_av, charts, warnings);
    EXPECT_EQ(av.nBins, -1) << dt_av;
    EXPECT_TRUE(MeanI(charts).empty()) << dt_av;
    ASSERT_EQ(warnings.size(), 1u) << dt_av;
    EXPECT_THAT(warnings[0], HasSubstr("must be above 0 ms")) << dt_av;
  }
}

// The "Average" button works from the file as written, and refuses a
// missing one with its name.
TEST(AverageFromFile, AveragesTheWrittenEstimates) {
  velmora::testing::TempDir dir;
  Pulses written = PulsesAt({10, 20, 30});
  ASSERT_TRUE(WriteEstimates(written, nullptr, dir.path()));
  Pulses p;
  EstimationCharts charts = MakeEstimationCharts();
  CollectingSink warnings;
  auto av = AverageFromFile(dir.path(), 0, EstimationsWindowSettings{}, ApproxKind::Plane, 0, p, charts, warnings);
  ASSERT_TRUE(av);
  EXPECT_EQ(p.nPulses, 3);
  EXPECT_EQ(MeanI(charts), (std::vector<ChartPoint>{{0, 150}, {50, 300}}));  // dt_av 50: bins 0, 0, 1

  velmora::testing::TempDir empty;
  EXPECT_FALSE(AverageFromFile(empty.path(), 0, {}, ApproxKind::Plane, 0, p, charts, warnings));
  EXPECT_THAT(warnings.warnings.back(), HasSubstr(std::string(kEstimatesFileName)));
}

}  // namespace
}  // namespace velmora
