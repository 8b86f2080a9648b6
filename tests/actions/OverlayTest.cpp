#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

#include "actions/Overlay.h"

namespace velmora {
namespace {

using ::testing::HasSubstr;

// Slot 1 gets rest at -60 mV with spikes peaking at samples 104 and 204
// (dt = 0.1 ms), stimulus 5..100 ms.
void LoadTwoSpikes(Session& session, double t0 = 0) {
  std::vector<double> V(1000, -60);
  for (const int s : {100, 200}) {
    const double shape[] = {-50, -30, 0, 20, 10, -10, -30, -50};
    std::copy(std::begin(shape), std::end(shape), V.begin() + s + 1);
  }
  Recording& rec = session.rec;
  rec.dt = 1e-4, rec.t0 = t0, rec.tOn = 5, rec.tOff = 100;
  rec.traces[1].nLast = 999;
  rec.traces[1].V = std::move(V);
}

// Each piece must start at x = 0 at its peak; samples before the first peak run
// against their own time. With t0 > 0 the sample times include t0 but the peak
// times do not, so every piece is shifted by t0 (2 ms).
TEST(SuperimposeV, PiecesStartAtEachPeakShiftedByT0) {
  struct Case { double t0; int sample; double x; };  // s, -, ms
  const Case cases[] = {{0, 103, 10.3},     {0, 104, 0},     {0, 203, 9.9},  {0, 204, 0},
                        {0.002, 83, 10.3},  {0.002, 103, 1.9}, {0.002, 104, 2}, {0.002, 204, 2}};
  for (const Case& c : cases) {
    Session session;
    LoadTwoSpikes(session, c.t0);
    CollectingSink warnings;
    SuperimposeV(session, Settings{}, warnings);
    EXPECT_EQ(warnings.size(), 0u);
    ASSERT_EQ(session.charts.overlay.series.size(), 1u);
    const Series& overlay = session.charts.overlay.series[0];
    EXPECT_EQ(overlay.kind, SeriesKind::Point);
    ASSERT_EQ(overlay.points.size(), 999u);  // samples 1..nLast
    const ChartPoint& p = overlay.points[c.sample - 1];
    EXPECT_NEAR(p.x, c.x, 1e-9) << "t0 " << c.t0 << ", sample " << c.sample;
    EXPECT_EQ(p.y, session.rec.traces[1].V[c.sample]) << "t0 " << c.t0 << ", sample " << c.sample;
    const Series* peaks = FindSeries(session.charts.voltage, "Spikes");
    ASSERT_NE(peaks, nullptr);
    EXPECT_EQ(peaks->points.size(), 2u);
  }
}

// A sweep selector outside the slots must not index a slot; it says so and leaves
// the overlay and the spike list alone.
TEST(SuperimposeV, SelectorOutsideSlotsWarnsAndChangesNothing) {
  for (const double smpl : {0.9, 51.0, -3.0, std::nan("")}) {
    Session session;
    LoadTwoSpikes(session);
    session.spikes.nSpikes = 7;
    Settings settings;
    settings.Smpl = smpl;
    CollectingSink warnings;
    SuperimposeV(session, settings, warnings);
    ASSERT_EQ(warnings.size(), 1u) << smpl;
    EXPECT_THAT(warnings[0], HasSubstr("outside 1..50")) << smpl;
    EXPECT_TRUE(session.charts.overlay.series.empty()) << smpl;
    EXPECT_EQ(session.spikes.nSpikes, 7) << smpl;
  }
}

}  // namespace
}  // namespace velmora
