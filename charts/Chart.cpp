#include "charts/Chart.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>
#include <utility>

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
  if (any && axis.fromZero) cover(0.0);
  return any ? span : AxisLimits{axis.min, axis.max};
}

const std::string& UnitOf(const Axis& axis) { return axis.unit.empty() ? axis.title : axis.unit; }

namespace {

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::string Header(std::string_view name, const std::string& unit) {
  return CsvField(unit.empty() ? std::string(name) : fmt::format("{} ({})", name, unit));
}

}  // namespace

std::string ChartCsv(const Chart& chart) {
  std::vector<const Series*> columns;
  for (const Series& s : chart.series)
    if (s.shown && !s.points.empty() && s.kind != SeriesKind::Bubble && s.kind != SeriesKind::Shape)
      columns.push_back(&s);
  // Row key: the abscissa and which of the points at that abscissa it is.
  std::map<std::pair<double, int>, std::vector<const double*>> rows;
  for (std::size_t c = 0; c < columns.size(); ++c) {
    std::map<double, int> seen;
    for (const ChartPoint& p : columns[c]->points) {
      if (std::isnan(p.x)) continue;  // no row could hold it
      auto& row = rows[{p.x, seen[p.x]++}];
      row.resize(columns.size(), nullptr);
      row[c] = &p.y;
    }
  }
  const AxisSide xSide = columns.empty() ? AxisSide::Bottom : columns.front()->xAxis;
  std::string out = Header("x", UnitOf(AxisAt(chart, xSide)));
  for (const Series* s : columns) out += fmt::format(",{}", Header(s->title, UnitOf(AxisAt(chart, s->yAxis))));
  out += "\r\n";
  for (const auto& [key, values] : rows) {
    out += fmt::format("{}", key.first);
    for (const double* y : values) out += y ? fmt::format(",{}", *y) : ",";
    out += "\r\n";
  }
  return out;
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
