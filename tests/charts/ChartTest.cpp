#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

#include "charts/Chart.h"

namespace velmora {
namespace {

using ::testing::HasSubstr;

// Every drawing pass clears first: the series must come back with the same
// title, colour and shown state, or a hidden curve would reappear.
TEST(SeriesClear, KeepsTitleColourAndShownState) {
  for (const bool shown : {true, false}) {
    Series s{.title = "Vpeak", .kind = SeriesKind::Bubble, .color = kRed, .shown = shown};
    s.AddPoint(1, 2);
    s.AddBubble(1, 2, 0.5, kBlue);
    s.Clear();
    EXPECT_TRUE(s.points.empty()) << "shown = " << shown;
    EXPECT_TRUE(s.bubbles.empty()) << "shown = " << shown;
    EXPECT_EQ(s.title, "Vpeak");
    EXPECT_EQ(s.color, kRed);
    EXPECT_EQ(s.shown, shown);
  }
}

// Appending must keep the order a line is joined in; pairing xs and ys of
// different lengths would silently shift one against the other.
TEST(SeriesAddPoints, AppendsInOrderAndRejectsUnequalLengths) {
  Series s{.title = "V"};
  s.AddPoint(0, -65);
  const std::vector<double> xs{1, 2}, ys{-64, -63};
  s.AddPoints(xs, ys);
  EXPECT_EQ(s.points, (std::vector<ChartPoint>{{0, -65}, {1, -64}, {2, -63}}));

  const std::vector<double> shortYs{-62};
  try {
    s.AddPoints(xs, shortYs);
    FAIL() << "unequal lengths accepted";
  } catch (const std::invalid_argument& e) {
    EXPECT_THAT(e.what(), HasSubstr("series \"V\": 2 x values but 1 y values"));
  }
  EXPECT_EQ(s.points.size(), 3u);
}

// Setting a shape's corners moves the rectangle; it must not add a second one.
TEST(SeriesSetCorners, ReplacesTheRectangle) {
  Series ring{.title = "Ring", .kind = SeriesKind::Shape};
  ring.SetCorners(0, 0, 1, 1);
  ring.SetCorners(-2, 3, 4, 5);
  EXPECT_EQ(ring.points, (std::vector<ChartPoint>{{-2, 3}, {4, 5}}));
}

Chart VoltageAndCurrentChart() {
  Chart chart;
  chart.series.push_back({.title = "V", .yAxis = AxisSide::Left, .points = {{0, -70}, {10, 30}}});
  chart.series.push_back({.title = "I", .yAxis = AxisSide::Right, .points = {{-5, 0}, {20, 500}}});
  chart.series.push_back({.title = "hidden V", .yAxis = AxisSide::Left, .shown = false,
                          .points = {{-100, 1000}, {100, -1000}}});
  return chart;
}

// A hidden series must neither stretch the axes nor lose its points.
TEST(AxisRange, AutomaticCoversOnlyShownSeriesOnThatAxis) {
  Chart chart = VoltageAndCurrentChart();
  FindSeries(chart, "V")->AddPoint(5, NAN);  // a NaN must not spoil the axis

  EXPECT_EQ(Range(chart, AxisSide::Left), (AxisLimits{-70, 30}));
  EXPECT_EQ(Range(chart, AxisSide::Right), (AxisLimits{0, 500}));
  EXPECT_EQ(Range(chart, AxisSide::Bottom), (AxisLimits{-5, 20}));
  EXPECT_EQ(Range(chart, AxisSide::Top), (AxisLimits{0, 1}));  // nothing on it: the limits set

  Series& hidden = *FindSeries(chart, "hidden V");
  const auto kept = hidden.points;
  hidden.shown = true;
  EXPECT_EQ(hidden.points, kept);
  EXPECT_EQ(Range(chart, AxisSide::Left), (AxisLimits{-1000, 1000}));
}

// Bars grow from 0 and bubbles count by their centres.
TEST(AxisRange, BarsIncludeZeroAndBubblesCount) {
  Chart chart;
  chart.series.push_back({.title = "histogram", .kind = SeriesKind::Bar, .points = {{-60, 5}, {-50, 9}}});
  chart.series.push_back({.title = "cells", .kind = SeriesKind::Bubble, .yAxis = AxisSide::Right,
                          .bubbles = {{100, 2, 1, kRed}, {300, 4, 1, kBlue}}});
  EXPECT_EQ(Range(chart, AxisSide::Left), (AxisLimits{0, 9}));
  EXPECT_EQ(Range(chart, AxisSide::Right), (AxisLimits{2, 4}));
  EXPECT_EQ(Range(chart, AxisSide::Bottom), (AxisLimits{-60, 300}));
}

// With automatic scaling off the user's limits must survive refills.
TEST(AxisRange, FixedLimitsStayUntilChanged) {
  Chart chart = VoltageAndCurrentChart();
  chart.left = {.title = "mV", .automatic = false, .min = -80, .max = 40};
  FindSeries(chart, "V")->AddPoint(11, 200);
  EXPECT_EQ(Range(chart, AxisSide::Left), (AxisLimits{-80, 40}));

  AxisAt(chart, AxisSide::Left).automatic = true;
  EXPECT_EQ(Range(chart, AxisSide::Left), (AxisLimits{-70, 200}));
}

// "Points' size increase" adds its new value at every change: 0 -> 1 -> 2
// grows the markers by 1 and then by 2 more; lines are not point series.
TEST(IncreaseMarkerSize, AccumulatesOnPointSeriesOnly) {
  Chart chart;
  chart.series.push_back({.title = "Markers", .kind = SeriesKind::Point, .markerWidth = 3, .markerHeight = 4});
  chart.series.push_back({.title = "V", .kind = SeriesKind::Line});
  IncreaseMarkerSize(chart, 1);
  IncreaseMarkerSize(chart, 2);
  const Series& markers = chart.series[0];
  EXPECT_EQ(markers.markerWidth, 6);
  EXPECT_EQ(markers.markerHeight, 7);
  EXPECT_EQ(chart.series[1].markerWidth, 3);

  IncreaseMarkerSize(chart, -100);
  EXPECT_EQ(markers.markerWidth, 1);  // still drawn
  EXPECT_EQ(markers.markerHeight, 1);
}

// "Activate all curves" undoes every double-click hide; clearing the chart
// empties the series but keeps them for the next pass.
TEST(ChartOperations, ActivateAllAndClearAll) {
  Chart chart = VoltageAndCurrentChart();
  FindSeries(chart, "V")->shown = false;
  ActivateAllCurves(chart);
  for (const Series& s : chart.series) EXPECT_TRUE(s.shown) << s.title;

  ClearAllSeries(chart);
  ASSERT_EQ(chart.series.size(), 3u);
  for (const Series& s : chart.series) EXPECT_TRUE(s.points.empty()) << s.title;
  EXPECT_EQ(FindSeries(chart, "I")->yAxis, AxisSide::Right);
  EXPECT_EQ(FindSeries(chart, "no such"), nullptr);
}

// A measure drawn over a trace on its own axis must not spread over the
// whole height: from 0 up it keeps to a band.
TEST(AxisRange, FromZeroReachesZeroOnlyWhenThereArePoints) {
  Chart chart;
  chart.right.fromZero = true;
  chart.right.min = 5;
  chart.right.max = 6;
  EXPECT_EQ(Range(chart, AxisSide::Right), (AxisLimits{5, 6}));  // nothing drawn: the limits set
  chart.series.push_back({.title = "WidthAP", .yAxis = AxisSide::Right, .points = {{1, 1.0}, {2, 1.0125}}});
  EXPECT_EQ(Range(chart, AxisSide::Right), (AxisLimits{0, 1.0125}));
  chart.series[0].points = {{1, -2}, {2, -1}};
  EXPECT_EQ(Range(chart, AxisSide::Right), (AxisLimits{-2, 0}));
}

// The CSV is the data behind a figure: every shown value must come back
// exactly, repeated abscissae (two F-I runs) must keep all their values,
// and titles with commas must not shift the columns.
TEST(ChartCsv, ShownSeriesByAbscissaExactAndQuoted) {
  Chart chart;
  chart.bottom.title = "I/G_L (mV)";
  chart.bottom.unit = "pA";
  chart.left.title = "Rate (Hz)";
  chart.right.title = "N of spikes";
  chart.series.push_back({.title = "ISI[0]", .points = {{100, 0.1}, {200, 1.0 / 3}, {100, 12.5}}});
  chart.series.push_back({.title = "N, \"all\"", .yAxis = AxisSide::Right, .points = {{200, 3}}});
  chart.series.push_back({.title = "hidden", .shown = false, .points = {{150, 1}}});
  chart.series.push_back({.title = "empty"});
  EXPECT_EQ(ChartCsv(chart),
            "x (pA),ISI[0] (Rate (Hz)),\"N, \"\"all\"\" (N of spikes)\"\r\n"
            "100,0.1,\r\n"
            "100,12.5,\r\n"
            "200,0.3333333333333333,3\r\n");
  EXPECT_EQ(ChartCsv(Chart{}), "x\r\n");
}

}  // namespace
}  // namespace velmora
