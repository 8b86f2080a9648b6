#include "app/ChartView.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QClipboard>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <utility>

namespace velmora::app {

namespace {

QColor ToQColor(Color c) { return QColor(c.r, c.g, c.b); }

QCPAxis* AxisOf(QCustomPlot* plot, AxisSide side) {
  switch (side) {
    case AxisSide::Left: return plot->yAxis;
    case AxisSide::Right: return plot->yAxis2;
    case AxisSide::Bottom: return plot->xAxis;
    case AxisSide::Top: return plot->xAxis2;
  }
  return plot->xAxis;
}

bool SortedByX(const std::vector<ChartPoint>& points) {
  return std::is_sorted(points.begin(), points.end(),
                        [](const ChartPoint& a, const ChartPoint& b) { return a.x < b.x; });
}

constexpr std::size_t kThinAbove = 5000;  // markers drawn one by one below this count

// Markers are what makes a large chart slow to paint: a stimulus series of
// 56,000 points takes a quarter of a second. Of the markers that fall on the
// same pixel only the first is drawn, which leaves the picture as it was.
QVector<QCPGraphData> VisibleMarkers(const std::vector<ChartPoint>& points, const QCPAxis* x, const QCPAxis* y) {
  // The whole widget, not the axis rectangle, which has no size before the
  // first layout: more cells than pixels keeps a few markers too many, never too few.
  const QCustomPlot* plot = x->parentPlot();
  const int w = std::max(plot->width(), 200), h = std::max(plot->height(), 200);
  const QCPRange kx = x->range(), vy = y->range();
  std::vector<bool> taken(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), false);
  QVector<QCPGraphData> kept;
  for (const ChartPoint& p : points) {
    const double col = (p.x - kx.lower) / kx.size() * w;
    const double row = (p.y - vy.lower) / vy.size() * h;
    if (!(col >= 0 && col < w && row >= 0 && row < h)) continue;  // off the chart, or not a number
    const std::size_t cell = static_cast<std::size_t>(row) * static_cast<std::size_t>(w) + static_cast<std::size_t>(col);
    if (taken[cell]) continue;
    taken[cell] = true;
    kept.append(QCPGraphData(p.x, p.y));
  }
  return kept;
}

// What draws a series: a graph keeps its data sorted by x and thins it to
// the pixels it covers, which is what makes a trace of half a million points
// cheap to draw; a line whose x goes back (F-I runs added one after another)
// needs a curve, which joins the points in the order they were added.
enum class Drawer { Graph, Curve, Bars, Items };

Drawer DrawerOf(const Series& s) {
  switch (s.kind) {
    case SeriesKind::Bar: return Drawer::Bars;
    case SeriesKind::Bubble:
    case SeriesKind::Shape: return Drawer::Items;
    default: break;
  }
  const bool joined = s.kind != SeriesKind::Point || s.linePenShown;
  return joined && !SortedByX(s.points) ? Drawer::Curve : Drawer::Graph;
}

bool Fits(const QCPAbstractPlottable* p, Drawer drawer, const QCPAxis* x, const QCPAxis* y) {
  if (!p || p->keyAxis() != x || p->valueAxis() != y) return false;
  switch (drawer) {
    case Drawer::Graph: return qobject_cast<const QCPGraph*>(p) != nullptr;
    case Drawer::Curve: return qobject_cast<const QCPCurve*>(p) != nullptr;
    case Drawer::Bars: return qobject_cast<const QCPBars*>(p) != nullptr;
    case Drawer::Items: return false;
  }
  return false;
}

// Overwrites the graph's points where it holds as many already: a redraw of
// a sweep as long as the one before allocates nothing.
void SetGraphData(QCPGraph* graph, const std::vector<ChartPoint>& points, bool sorted) {
  QCPGraphDataContainer& container = *graph->data();
  if (sorted && container.size() == static_cast<int>(points.size())) {
    auto out = container.begin();
    for (const ChartPoint& p : points) *out++ = QCPGraphData(p.x, p.y);
    return;
  }
  QVector<QCPGraphData> data(static_cast<int>(points.size()));
  QCPGraphData* out = data.data();
  for (const ChartPoint& p : points) *out++ = QCPGraphData(p.x, p.y);
  container.set(data, sorted);
}

void DrawLineOrPoints(QCPAbstractPlottable* p, const Series& s) {
  const bool joined = s.kind != SeriesKind::Point || s.linePenShown;
  const bool markers = s.kind == SeriesKind::Point;
  QPen pen(ToQColor(s.color));
  pen.setWidth(1);
  const QCPScatterStyle scatter = markers ? QCPScatterStyle(QCPScatterStyle::ssDisc, ToQColor(s.color),
                                                            ToQColor(s.color),
                                                            std::max(1, std::max(s.markerWidth, s.markerHeight)))
                                          : QCPScatterStyle();
  if (auto* curve = qobject_cast<QCPCurve*>(p)) {
    QVector<QCPCurveData> data;
    data.reserve(static_cast<int>(s.points.size()));
    for (std::size_t i = 0; i < s.points.size(); ++i)
      data.append(QCPCurveData(static_cast<double>(i), s.points[i].x, s.points[i].y));
    curve->data()->set(data, true);
    curve->setPen(pen);
    curve->setScatterStyle(scatter);
    return;
  }
  auto* graph = static_cast<QCPGraph*>(p);
  if (!joined && s.points.size() > kThinAbove)
    graph->data()->set(VisibleMarkers(s.points, graph->keyAxis(), graph->valueAxis()), false);
  else
    SetGraphData(graph, s.points, joined);  // a scatter need not come sorted
  graph->setPen(pen);
  graph->setAdaptiveSampling(true);
  graph->setLineStyle(joined ? QCPGraph::lsLine : QCPGraph::lsNone);
  graph->setScatterStyle(scatter);
}

void DrawBars(QCPBars* bars, const Series& s) {
  QVector<QCPBarsData> data;
  for (const ChartPoint& p : s.points) data.append(QCPBarsData(p.x, p.y));
  bars->data()->set(data, false);
  if (s.points.size() > 1) {
    double width = std::abs(s.points[1].x - s.points[0].x);
    bars->setWidth(width > 0 ? width : 1);
  }
  bars->setPen(QPen(ToQColor(s.color)));
  bars->setBrush(ToQColor(s.color).lighter(150));
}

// Above this many bubbles one item paints them all: an ellipse item per
// bubble is built, registered and laid out one by one, which made the two
// lattice frames (7,821 cells each) take most of a second to draw.
constexpr std::size_t kBubblesAsItems = 500;

class BubbleField : public QCPAbstractItem {
 public:
  BubbleField(QCustomPlot* plot, QCPAxis* x, QCPAxis* y, std::vector<Bubble> bubbles)
      : QCPAbstractItem(plot), x_(x), y_(y), bubbles_(std::move(bubbles)) {
    setClipAxisRect(x->axisRect());
    setSelectable(false);
  }
  double selectTest(const QPointF&, bool, QVariant*) const override { return -1; }

 protected:
  void draw(QCPPainter* painter) override {
    for (const Bubble& b : bubbles_) {
      const QColor colour = ToQColor(b.color);
      painter->setPen(colour);
      painter->setBrush(colour);
      const QPointF topLeft(x_->coordToPixel(b.x - b.radius), y_->coordToPixel(b.y + b.radius));
      const QPointF bottomRight(x_->coordToPixel(b.x + b.radius), y_->coordToPixel(b.y - b.radius));
      painter->drawEllipse(QRectF(topLeft, bottomRight).normalized());
    }
  }

 private:
  QCPAxis* x_;
  QCPAxis* y_;
  std::vector<Bubble> bubbles_;
};

void AddBubbles(QCustomPlot* plot, const Series& s, QCPAxis* x, QCPAxis* y) {
  if (s.bubbles.size() > kBubblesAsItems) {
    new BubbleField(plot, x, y, s.bubbles);  // the plot owns its items
    return;
  }
  for (const Bubble& b : s.bubbles) {
    auto* e = new QCPItemEllipse(plot);
    for (QCPItemPosition* p : {e->topLeft, e->bottomRight}) p->setAxes(x, y);
    e->topLeft->setCoords(b.x - b.radius, b.y + b.radius);
    e->bottomRight->setCoords(b.x + b.radius, b.y - b.radius);
    e->setPen(QPen(ToQColor(b.color)));
    e->setBrush(ToQColor(b.color));
  }
}

void AddShape(QCustomPlot* plot, const Series& s, QCPAxis* x, QCPAxis* y) {
  if (s.points.size() < 2) return;
  auto* r = new QCPItemRect(plot);
  for (QCPItemPosition* p : {r->topLeft, r->bottomRight}) p->setAxes(x, y);
  r->topLeft->setCoords(s.points[0].x, s.points[0].y);
  r->bottomRight->setCoords(s.points[1].x, s.points[1].y);
  r->setPen(QPen(ToQColor(s.color)));
}

bool AxisUsed(const Chart& chart, AxisSide side) {
  if (!AxisAt(chart, side).title.empty()) return true;
  return std::any_of(chart.series.begin(), chart.series.end(),
                     [&](const Series& s) { return s.xAxis == side || s.yAxis == side; });
}

}  // namespace

ChartView::ChartView(Chart& chart, QWidget* parent)
    : QWidget(parent), chart_(chart), plot_(new QCustomPlot(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(plot_);
  setMinimumSize(200, 150);
  plot_->setPlottingHint(QCP::phFastPolylines, true);
  plot_->setBackground(Qt::white);
  plot_->legend->setFont(QFont(font().family(), 8));
  plot_->legend->setBrush(QColor(255, 255, 255, 200));
  plot_->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);

  connect(plot_, &QCustomPlot::plottableClick, this, [this](QCPAbstractPlottable* p, int, QMouseEvent*) {
    ApplyClick(click_, IndexOf(p));
  });
  connect(plot_, &QCustomPlot::legendClick, this, [this](QCPLegend*, QCPAbstractLegendItem* item, QMouseEvent*) {
    if (auto* pi = qobject_cast<QCPPlottableLegendItem*>(item))
      ApplyClick(SeriesClick::Toggle, IndexOf(pi->plottable()));
  });
  connect(plot_, &QCustomPlot::mouseDoubleClick, this, [this](QMouseEvent* event) {
    // A double click on the legend is two clicks there already.
    if (plot_->legend->visible() && plot_->legend->selectTest(event->position(), false) >= 0) return;
    const int series = IndexOf(plot_->plottableAt(event->position(), false));
    if (series >= 0)
      ApplyClick(doubleClick_, series);
    else if (onBackgroundDoubleClicked)
      onBackgroundDoubleClicked();
  });
}

ChartView::~ChartView() = default;

int ChartView::IndexOf(const QCPAbstractPlottable* p) const {
  const auto it = std::find(drawn_.begin(), drawn_.end(), p);
  return p && it != drawn_.end() ? static_cast<int>(it - drawn_.begin()) : -1;
}

void ChartView::ApplyClick(SeriesClick click, int series) {
  if (click == SeriesClick::None || series < 0 || series >= static_cast<int>(chart_.series.size())) return;
  Series& s = chart_.series[static_cast<std::size_t>(series)];
  s.shown = click == SeriesClick::Toggle ? !s.shown : false;
  Refresh();
  if (onSeriesChanged) onSeriesChanged();
}

void ChartView::Refresh() {
  stale_ = true;
  if (isVisible()) Draw();
}

void ChartView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Refresh();  // the thinned markers were chosen for the old size
}

void ChartView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (stale_) Draw();
}

void ChartView::Draw() {
  stale_ = false;
  // The axes first: thinning the markers needs to know where the pixels are.
  for (AxisSide side : {AxisSide::Left, AxisSide::Right, AxisSide::Bottom, AxisSide::Top}) {
    const Axis& model = AxisAt(chart_, side);
    QCPAxis* axis = AxisOf(plot_, side);
    const bool primary = side == AxisSide::Left || side == AxisSide::Bottom;
    axis->setVisible(model.shown && (primary || AxisUsed(chart_, side)));
    axis->setLabel(QString::fromStdString(model.title));
    if (model.fixedDecimals >= 0) {
      plot_->setLocale(QLocale(QLocale::English, QLocale::UnitedStates));  // the point, and commas grouping
      axis->setNumberFormat("f");
      axis->setNumberPrecision(model.fixedDecimals);
    }
    AxisLimits r = Range(chart_, side);
    if (!(r.max > r.min)) {
      const double pad = r.min != 0 ? std::abs(r.min) * 0.05 : 1;
      r = {r.min - pad, r.max + pad};
    } else if (model.automatic && side != AxisSide::Bottom && side != AxisSide::Top) {
      // Values axes get a margin so that peaks do not touch the frame; time
      // axes stay exact, so that two charts adjusted to each other line up.
      const double pad = (r.max - r.min) * 0.03;
      r = {r.min - pad, r.max + pad};
    }
    axis->setRange(r.min, r.max);
  }
  // The plottables of the last drawing are refilled when the chart still has
  // the same series drawn the same way; otherwise they are made anew.
  const auto axesOf = [this](const Series& s) {
    return std::pair{AxisOf(plot_, s.xAxis == AxisSide::Top ? AxisSide::Top : AxisSide::Bottom),
                     AxisOf(plot_, s.yAxis == AxisSide::Right ? AxisSide::Right : AxisSide::Left)};
  };
  std::vector<Drawer> drawers;
  for (const Series& s : chart_.series) drawers.push_back(DrawerOf(s));
  bool reuse = drawn_.size() == chart_.series.size();
  for (std::size_t k = 0; reuse && k < drawers.size(); ++k) {
    const auto [x, y] = axesOf(chart_.series[k]);
    reuse = drawers[k] == Drawer::Items ? drawn_[k] == nullptr : Fits(drawn_[k], drawers[k], x, y);
  }
  if (!reuse) {
    plot_->clearPlottables();
    drawn_.assign(chart_.series.size(), nullptr);
  }
  plot_->clearItems();
  for (std::size_t k = 0; k < chart_.series.size(); ++k) {
    const Series& s = chart_.series[k];
    const auto [x, y] = axesOf(s);
    QCPAbstractPlottable*& p = drawn_[k];
    switch (drawers[k]) {
      case Drawer::Graph:
        if (!p) p = plot_->addGraph(x, y);
        DrawLineOrPoints(p, s);
        break;
      case Drawer::Curve:
        if (!p) p = new QCPCurve(x, y);
        DrawLineOrPoints(p, s);
        break;
      case Drawer::Bars:
        if (!p) p = new QCPBars(x, y);
        DrawBars(static_cast<QCPBars*>(p), s);
        break;
      case Drawer::Items:
        if (!s.shown) break;
        if (s.kind == SeriesKind::Bubble)
          AddBubbles(plot_, s, x, y);
        else
          AddShape(plot_, s, x, y);
        break;
    }
    if (!p) continue;
    p->setName(QString::fromStdString(s.title));
    p->setVisible(s.shown);
    if (s.title.empty()) {
      p->removeFromLegend();
    } else if (QCPPlottableLegendItem* item = plot_->legend->itemWithPlottable(p)) {
      item->setTextColor(s.shown ? Qt::black : Qt::gray);
    }
  }
  plot_->legend->setVisible(chart_.legendShown && plot_->legend->itemCount() > 0);

  plot_->replot();
}

AxisLimits ChartView::ShownTimeRange() const {
  if (stale_) {
    // Not drawn yet: what it would show.
    return Range(chart_, AxisSide::Bottom);
  }
  const QCPRange r = plot_->xAxis->range();
  return {r.lower, r.upper};
}

QImage ChartView::Picture() {
  if (stale_) Draw();
  const QSize size = plot_->size().isEmpty() ? QSize(640, 400) : plot_->size();
  return plot_->toPixmap(size.width(), size.height()).toImage();
}

void ChartView::CopyToClipboard() { QApplication::clipboard()->setImage(Picture()); }

int ChartView::DrawnSeriesCount() const { return plot_->plottableCount(); }

bool ChartView::DrawnVisible(int series) const {
  const auto k = static_cast<std::size_t>(series);
  return k < drawn_.size() && drawn_[k] && drawn_[k]->visible();
}

QPoint ChartView::PixelOf(double x, double y) const {
  return QPoint(static_cast<int>(plot_->xAxis->coordToPixel(x)), static_cast<int>(plot_->yAxis->coordToPixel(y)));
}

QWidget* ChartView::Canvas() const { return plot_; }

void AdoptTimeAxis(Chart& target, const ChartView& source) {
  const AxisLimits r = source.ShownTimeRange();
  target.bottom.automatic = false;
  target.bottom.min = r.min;
  target.bottom.max = r.max;
}

void AutoTimeAxis(Chart& target) { target.bottom.automatic = true; }

}  // namespace velmora::app
