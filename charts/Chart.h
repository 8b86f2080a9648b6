#pragma once
// Charts as plain data: what the analyses fill and the app draws. Nothing
// here draws, so tests can inspect a chart without a display.
//
// Analyses clear their series and refill them point by point on every run;
// a double click hides a series and "Activate all curves" shows it again.

#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

struct Color {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Color&, const Color&) = default;
};

inline constexpr Color kBlack{0, 0, 0};
inline constexpr Color kWhite{255, 255, 255};
inline constexpr Color kGray{128, 128, 128};
inline constexpr Color kRed{255, 0, 0};
inline constexpr Color kGreen{0, 128, 0};
inline constexpr Color kBlue{0, 0, 255};
inline constexpr Color kYellow{255, 255, 0};
inline constexpr Color kMagenta{255, 0, 255};
inline constexpr Color kCyan{0, 255, 255};
// Further hues, so that the series of one chart can all be told apart.
inline constexpr Color kOrange{255, 140, 0};
inline constexpr Color kDarkRed{139, 0, 0};
inline constexpr Color kPink{255, 105, 180};
inline constexpr Color kBrown{139, 69, 19};
inline constexpr Color kLimeGreen{50, 205, 50};
inline constexpr Color kOlive{128, 128, 0};
inline constexpr Color kTeal{0, 128, 128};
inline constexpr Color kNavy{0, 0, 128};
inline constexpr Color kPurple{128, 0, 128};
inline constexpr Color kGold{218, 165, 32};

enum class AxisSide { Left, Right, Bottom, Top };

struct AxisLimits {
  double min = 0, max = 0;
  friend bool operator==(const AxisLimits&, const AxisLimits&) = default;
};

struct Axis {
  std::string title{};
  bool automatic = true;  // on: Range() covers the shown points; off: min..max stay until changed
  double min = 0, max = 1;
  bool shown = true;      // the lattice colour bar hides its axes
  int fixedDecimals = -1;  // >= 0: tick labels in fixed point with thousands grouped ("12,345.5")
  // The unit of the values where the title does not name it ("pA" under a
  // title of normalised quantities); the read-out and the CSV use it.
  std::string unit{};
  // Automatic scaling reaches down (or up) to 0: a measure drawn over a
  // trace then keeps to a band instead of spreading over the whole height.
  bool fromZero = false;
};

// What the values of an axis are measured in: its unit, else its title.
const std::string& UnitOf(const Axis& axis);

// Line: points joined in the order added. Point: markers only, joined when
// linePenShown (a "line with point markers" is a point series with the pen
// shown). Bar: bars from y = 0. Bubble: uses `bubbles`. Shape: a rectangle
// whose two corners are points[0] and points[1].
enum class SeriesKind { Line, Point, FastLine, Bar, Bubble, Shape };

struct ChartPoint {
  double x = 0, y = 0;
  friend bool operator==(const ChartPoint&, const ChartPoint&) = default;
};

struct Bubble {
  double x = 0, y = 0;
  double radius = 0;  // in units of the axes
  Color color{};
  friend bool operator==(const Bubble&, const Bubble&) = default;
};

struct Series {
  std::string title{};
  SeriesKind kind = SeriesKind::Line;
  Color color{};
  AxisSide xAxis = AxisSide::Bottom;  // Bottom or Top
  AxisSide yAxis = AxisSide::Left;    // Left or Right
  bool shown = true;                  // hidden series keep their points
  std::vector<ChartPoint> points{};
  std::vector<Bubble> bubbles{};
  int markerWidth = 3, markerHeight = 3;  // pixels; point series
  bool linePenShown = false;              // point series: "show lines"

  // Empties the points and bubbles; title, colour, axes and shown state stay.
  void Clear();
  void AddPoint(double x, double y) { points.push_back({x, y}); }
  // Appends (xs[i], ys[i]) in order; throws std::invalid_argument when the
  // lengths differ, as no pairing of the two would be right.
  void AddPoints(std::span<const double> xs, std::span<const double> ys);
  void AddBubble(double x, double y, double radius, Color color) {
    bubbles.push_back({x, y, radius, color});
  }
  // Replaces the rectangle of a shape series.
  void SetCorners(double x1, double y1, double x2, double y2);
};

struct Chart {
  std::string title{};
  Axis left{}, right{}, bottom{}, top{};
  bool legendShown = true;
  // A deque, so that a Series& taken from emplace_back stays valid while
  // further series are added.
  std::deque<Series> series{};
};

Axis& AxisAt(Chart& chart, AxisSide side);
const Axis& AxisAt(const Chart& chart, AxisSide side);

// The span an axis shows. Automatic scaling on: the finite coordinates, on
// that axis, of the shown series attached to it (bar series include y = 0);
// the limits set when there are none. Automatic scaling off: the limits set.
AxisLimits Range(const Chart& chart, AxisSide side);

// The shown series with points as a table: one column for x, then one per
// series ("title (unit)" in the header), a row per distinct x in ascending
// order; a series without a point at that x leaves its cell empty. The k-th
// point of a series at some x shares the row of the k-th point of every
// other series at that x, so repeated abscissae (two F-I runs) keep all
// their values. Numbers are written so that they read back exactly; fields
// are comma-separated, quoted where they hold a comma or a quote, and lines
// end in CR LF.
std::string ChartCsv(const Chart& chart);

// The first series with this title, or nullptr.
Series* FindSeries(Chart& chart, std::string_view title);
const Series* FindSeries(const Chart& chart, std::string_view title);

// The series of that title, created with these properties when the chart
// has none: drawing passes name their series and need not set them up first.
Series& EnsureSeries(Chart& chart, std::string_view title, SeriesKind kind, Color color = kBlack,
                     AxisSide yAxis = AxisSide::Left);

void ClearAllSeries(Chart& chart);     // every series empty, nothing else changes
void ActivateAllCurves(Chart& chart);  // every series shown

// Grows the markers of every point series by `by` pixels each way. Applied
// at every change of "Points' size increase", so the sizes accumulate; a
// marker never shrinks below 1 pixel.
void IncreaseMarkerSize(Chart& chart, int by);

}  // namespace velmora
