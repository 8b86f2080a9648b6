#include "charts/Chart.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <fmt/format.h>

namespace velmora {

void Series::Clear() {
  points.clear();
  bubbles.clear();
}

void Series::AddPoints(std::span<const double> xs, std::span<const double> ys) {
  if (xs.size() != ys.size()) {
    throw std::invalid_argument(fmt::format("series \"{}\": {} x values but {} y values", title,
                                            xs.size(), ys.size()));
  }
  points.reserve(points.size() + xs.size());
  for (std::size_t i = 0; i < xs.size(); ++i) points.push_back({xs[i], ys[i]});
}

void Series::SetCorners(double x1, double y1, double x2, double y2) {
  points.assign({{x1, y1}, {x2, y2}});
}

Axis& AxisAt(Chart& chart, AxisSide side) {
  return const_cast<Axis&>(AxisAt(static_cast<const Chart&>(chart), side));
}

const Axis& AxisAt(const Chart& chart, AxisSide side) {
  switch (side) {
    case AxisSide::Left: return chart.left;
    case AxisSide::Right: return chart.right;
    case AxisSide::Bottom: return chart.bottom;
    case AxisSide::Top: return chart.top;
  }
  return chart.left;
}

AxisLimits Range(const Chart& chart, AxisSide side) {
  const Axis& axis = AxisAt(chart, side);
  if (!axis.automatic) return {axis.min, axis.max};

  const bool vertical = side == AxisSide::Left || side == AxisSide::Right;
  bool any = false;
  AxisLimits span;
  // NaN or infinite values (a division by zero upstream) would make the
  // whole axis unusable; they are left out of the span.
  auto cover = [&](double value) {
    if (!std::isfinite(value)) return;
    span.min = any ? std::min(span.min, value) : value;
    span.max = any ? std::max(span.max, value) : value;
    any = true;
  };
  for (const Series& s : chart.series) {
    if (!s.shown || (vertical ? s.yAxis : s.xAxis) != side) continue;
    for (const ChartPoint& p : s.points) cover(vertical ? p.y : p.x);
    for (const Bubble& b : s.bubbles) cover(vertical ? b.y : b.x);
    if (vertical && s.kind == SeriesKind::Bar && !s.points.empty()) cover(0.0);
  }
  return any ? span : AxisLimits{axis.min, axis.max};
}

const Series* FindSeries(const Chart& chart, std::string_view title) {
  const auto it = std::find_if(chart.series.begin(), chart.series.end(),
                               [&](const Series& s) { return s.title == title; });
  return it == chart.series.end() ? nullptr : &*it;
}

Series* FindSeries(Chart& chart, std::string_view title) {
  return const_cast<Series*>(FindSeries(static_cast<const Chart&>(chart), title));
}

Series& EnsureSeries(Chart& chart, std::string_view title, SeriesKind kind, Color color, AxisSide yAxis) {
  if (Series* s = FindSeries(chart, title)) return *s;
  Series& s = chart.series.emplace_back();
  s.title = std::string(title);
  s.kind = kind;
  s.color = color;
  s.yAxis = yAxis;
  return s;
}

void ClearAllSeries(Chart& chart) {
  for (Series& s : chart.series) s.Clear();
}

void ActivateAllCurves(Chart& chart) {
  for (Series& s : chart.series) s.shown = true;
}

void IncreaseMarkerSize(Chart& chart, int by) {
  for (Series& s : chart.series) {
    if (s.kind != SeriesKind::Point) continue;
    s.markerWidth = std::max(1, s.markerWidth + by);
    s.markerHeight = std::max(1, s.markerHeight + by);
  }
}

}  // namespace velmora
