#include "app/ChartView.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QSvgGenerator>
#include <QTimer>
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

constexpr AxisSide kSides[] = {AxisSide::Left, AxisSide::Right, AxisSide::Bottom, AxisSide::Top};
constexpr std::size_t Index(AxisSide side) { return static_cast<std::size_t>(side); }
bool Vertical(AxisSide side) { return side == AxisSide::Left || side == AxisSide::Right; }

// A horizontal axis that carries a trace stays exact, so that two charts
// adjusted to each other line up; one that carries only markers gets the
// margin the values have, so that no point sits on the frame.
bool ExactAxis(const Chart& chart, AxisSide side) {
  return std::any_of(chart.series.begin(), chart.series.end(), [&](const Series& s) {
    return s.shown && s.xAxis == side && (s.kind == SeriesKind::Line || s.kind == SeriesKind::FastLine);
  });
}

// The span drawn for an axis: the model's, with a margin where it is automatic.
AxisLimits DrawnRange(const Chart& chart, AxisSide side) {
  const Axis& model = AxisAt(chart, side);
  AxisLimits r = Range(chart, side);
  // Values equal but for rounding (1.35 and 1.3500000000000001) would get
  // ticks that all read the same: they count as one value.
  const double scale = std::max(std::abs(r.min), std::abs(r.max));
  if (!(r.max - r.min > 1e-9 * scale)) {
    const double centre = (r.min + r.max) / 2;
    const double pad = centre != 0 ? std::abs(centre) * 0.05 : 1;
    return {centre - pad, centre + pad};
  }
  if (model.automatic && (Vertical(side) || !ExactAxis(chart, side))) {
    const double pad = (r.max - r.min) * 0.03;
    r = {r.min - pad, r.max + pad};
  }
  // A measure from 0 keeps below the top, where the spike peaks are marked.
  if (model.automatic && model.fromZero) (r.max > 0 ? r.max : r.min) *= 1.25;
  return r;
}

QString Number(double v) { return QString::number(v, 'g', 6); }

QString WithUnit(double v, const Axis& axis) {
  const std::string& unit = UnitOf(axis);
  return unit.empty() ? Number(v) : Number(v) + " " + QString::fromStdString(unit);
}

constexpr double kNearPixels = 8;  // a point this close to the cursor is read out

// "Save...": where to and how large.
std::optional<ChartView::SaveRequest> AskForSave(const ChartView& view) {
  QDialog dialog(const_cast<ChartView*>(&view));
  dialog.setWindowTitle("Save chart");
  auto* path = new QLineEdit(QDir::current().filePath("chart.png"), &dialog);
  path->setMinimumWidth(320);
  auto* browse = new QPushButton("Browse...", &dialog);
  QObject::connect(browse, &QPushButton::clicked, &dialog, [&dialog, path] {
    const QString chosen = QFileDialog::getSaveFileName(
        &dialog, "Save chart", path->text(),
        "PNG picture (*.png);;SVG drawing (*.svg);;PDF document (*.pdf);;Data of the shown series (*.csv)");
    if (!chosen.isEmpty()) path->setText(chosen);
  });
  auto* pathRow = new QHBoxLayout;
  pathRow->addWidget(path, 1);
  pathRow->addWidget(browse);
  const QSize shown = view.Canvas()->size();
  auto* width = new QSpinBox(&dialog);
  auto* height = new QSpinBox(&dialog);
  width->setRange(100, 10000);
  height->setRange(100, 10000);
  width->setValue(std::max(shown.width(), 640));
  height->setValue(std::max(shown.height(), 400));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* form = new QFormLayout(&dialog);
  form->addRow("File (.png, .svg, .pdf or .csv):", pathRow);
  form->addRow("Width (pixels; points for PDF):", width);
  form->addRow("Height:", height);
  form->addRow(buttons);
  if (dialog.exec() != QDialog::Accepted || path->text().isEmpty()) return std::nullopt;
  return ChartView::SaveRequest{path->text(), QSize(width->value(), height->value())};
}

}  // namespace

ChartView::ChartView(Chart& chart, QWidget* parent)
    : QWidget(parent),
      chart_(chart),
      plot_(new QCustomPlot(this)),
      readout_(new QLabel(plot_)),
      settle_(new QTimer(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(plot_);
  setMinimumSize(200, 150);
  plot_->setPlottingHint(QCP::phFastPolylines, true);
  plot_->setBackground(Qt::white);
  plot_->legend->setFont(QFont(font().family(), 8));
  plot_->legend->setBrush(Qt::NoBrush);
  plot_->legend->setBorderPen(Qt::NoPen);
  plot_->legend->setFillOrder(QCPLegend::foColumnsFirst);
  // The legend gets a row above the plot area (PlaceLegend), where it covers no data.
  plot_->axisRect()->insetLayout()->take(plot_->legend);
  plot_->legend->setVisible(false);
  plot_->plotLayout()->setRowSpacing(0);

  QCPAxisRect* rect = plot_->axisRect();
  rect->setRangeDragAxes({plot_->xAxis, plot_->xAxis2}, {plot_->yAxis, plot_->yAxis2});
  rect->setRangeZoomAxes({plot_->xAxis, plot_->xAxis2}, {plot_->yAxis, plot_->yAxis2});
  plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
  for (AxisSide side : kSides) {
    connect(AxisOf(plot_, side), qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            [this, side](const QCPRange& r) { OnUserRange(side, r.lower, r.upper); });
  }
  connect(plot_, &QCustomPlot::mouseWheel, this, [this](QWheelEvent* event) {
    const Qt::KeyboardModifiers keys = event->modifiers();
    plot_->axisRect()->setRangeZoom(keys & Qt::ControlModifier ? Qt::Horizontal
                                    : keys & Qt::ShiftModifier ? Qt::Vertical
                                                               : Qt::Horizontal | Qt::Vertical);
  });
  connect(plot_, &QCustomPlot::mousePress, this, [this](QMouseEvent* event) {
    const bool band = zoomable_ && (rubberBand_ || event->modifiers() & Qt::ShiftModifier);
    plot_->setSelectionRectMode(band ? QCP::srmZoom : QCP::srmNone);
  });
  plot_->selectionRect()->setPen(QPen(Qt::darkGray, 1, Qt::DashLine));
  plot_->selectionRect()->setBrush(QColor(0, 0, 255, 30));
  settle_->setSingleShot(true);
  settle_->setInterval(100);
  connect(settle_, &QTimer::timeout, this, [this] {
    if (isVisible()) Draw();
  });

  readout_->setStyleSheet("QLabel { background: rgba(255, 255, 255, 220); border: 1px solid #aaa; padding: 2px; }");
  readout_->setAttribute(Qt::WA_TransparentForMouseEvents);
  readout_->hide();
  plot_->setMouseTracking(true);
  plot_->installEventFilter(this);
  connect(plot_, &QCustomPlot::mouseMove, this, [this](QMouseEvent* event) { ShowReadout(event->pos()); });
  plot_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(plot_, &QCustomPlot::customContextMenuRequested, this, &ChartView::ShowMenu);
  askForSave = AskForSave;
  reportSaveFailure = [this](const QString& message) { QMessageBox::warning(this, "Save chart", message); };

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
    if (series >= 0) {
      ApplyClick(doubleClick_, series);
      return;
    }
    ResetZoom();
    if (onBackgroundDoubleClicked) onBackgroundDoubleClicked();
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
  drawing_ = true;  // the ranges set here are the model's, not the user's
  // The axes first: thinning the markers needs to know where the pixels are.
  for (AxisSide side : kSides) {
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
    Zoom& zoom = zoom_[Index(side)];
    const bool setAnew =
        zoom.automatic != model.automatic || (!model.automatic && !(zoom.set == AxisLimits{model.min, model.max}));
    if (setAnew) zoom.on = false;  // by the program: its setting wins over the user's zoom
    const AxisLimits r = zoom.on ? zoom.range : DrawnRange(chart_, side);
    axis->setRange(r.min, r.max);
    // As many ticks as fit without their labels running into each other.
    const int room = Vertical(side) ? plot_->height() / 45 : plot_->width() / 90;
    axis->ticker()->setTickCount(std::clamp(room, 2, 6));
  }
  drawing_ = false;
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
    // A series without points (a box not ticked) would only crowd the legend.
    if (s.title.empty() || s.points.empty()) {
      p->removeFromLegend();
    } else {
      p->addToLegend();
      if (QCPPlottableLegendItem* item = plot_->legend->itemWithPlottable(p))
        item->setTextColor(s.shown ? Qt::black : Qt::gray);
    }
  }
  PlaceLegend();
  plot_->replot();
}

void ChartView::PlaceLegend() {
  QCPLegend* legend = plot_->legend;
  const bool shown = chart_.legendShown && legend->itemCount() > 0;
  QCPLayoutGrid* layout = plot_->plotLayout();
  const bool placed = layout->hasElement(0, 0) && layout->element(0, 0) == legend;
  // An invisible legend would still keep its row: it leaves the layout instead.
  if (shown && !placed) {
    layout->insertRow(0);
    layout->addElement(0, 0, legend);
    layout->setRowStretchFactor(0, 0.001);
  } else if (!shown && placed) {
    layout->take(legend);
    layout->simplify();
  }
  legend->setVisible(shown);
  if (!shown) return;
  // As many items to a row as the width holds.
  const int room = std::max(plot_->width(), 200) - 10;
  int wrap = legend->itemCount();
  const auto arrange = [legend](int columns) {
    legend->setWrap(columns);
    legend->setFillOrder(QCPLegend::foColumnsFirst, true);  // the items move to the new rows now
  };
  arrange(wrap);
  while (wrap > 1 && legend->minimumOuterSizeHint().width() > room) arrange(--wrap);
}

void ChartView::OnUserRange(AxisSide side, double lower, double upper) {
  if (drawing_) return;
  const Axis& model = AxisAt(chart_, side);
  zoom_[Index(side)] = {true, {lower, upper}, model.automatic, {model.min, model.max}};
  settle_->start();
}

AxisLimits ChartView::ShownRange(AxisSide side) const {
  if (stale_) {
    const Zoom& zoom = zoom_[Index(side)];
    return zoom.on ? zoom.range : DrawnRange(chart_, side);
  }
  const QCPRange r = AxisOf(plot_, side)->range();
  return {r.lower, r.upper};
}

void ChartView::ResetZoom() {
  for (Zoom& zoom : zoom_) zoom.on = false;
  Refresh();
}

void ChartView::ShowAll() {
  AutoTimeAxis(chart_);
  ResetZoom();
}

void ChartView::SetZoomable(bool zoomable) {
  zoomable_ = zoomable;
  plot_->setInteractions(zoomable ? QCP::iRangeDrag | QCP::iRangeZoom : QCP::Interactions());
}

void ChartView::SetRubberBand(bool on) { rubberBand_ = on; }

QString ChartView::ReadoutAt(QPoint pixel) const {
  if (!plot_->axisRect()->rect().contains(pixel)) return {};
  QString text = QString("x = %1   y = %2")
                     .arg(WithUnit(plot_->xAxis->pixelToCoord(pixel.x()), chart_.bottom),
                          WithUnit(plot_->yAxis->pixelToCoord(pixel.y()), chart_.left));
  if (plot_->yAxis2->visible())
    text += QString(" | %1").arg(WithUnit(plot_->yAxis2->pixelToCoord(pixel.y()), chart_.right));
  // The nearest point of a shown series, measured in pixels on its own axes.
  double best = kNearPixels * kNearPixels;
  const Series* near = nullptr;
  const ChartPoint* at = nullptr;
  for (std::size_t k = 0; k < chart_.series.size() && k < drawn_.size(); ++k) {
    const Series& s = chart_.series[k];
    if (!s.shown || !drawn_[k]) continue;
    const QCPAxis* x = drawn_[k]->keyAxis();
    const QCPAxis* y = drawn_[k]->valueAxis();
    for (const ChartPoint& p : s.points) {
      const double dx = x->coordToPixel(p.x) - pixel.x(), dy = y->coordToPixel(p.y) - pixel.y();
      if (dx * dx + dy * dy < best) {
        best = dx * dx + dy * dy;
        near = &s;
        at = &p;
      }
    }
  }
  if (near)
    text += QString("\n%1: x = %2   y = %3")
                .arg(QString::fromStdString(near->title), WithUnit(at->x, AxisAt(chart_, near->xAxis)),
                     WithUnit(at->y, AxisAt(chart_, near->yAxis)));
  return text;
}

QString ChartView::readout() const { return readout_->isVisible() ? readout_->text() : QString(); }

void ChartView::ShowReadout(QPoint pixel) {
  const QString text = ReadoutAt(pixel);
  if (text.isEmpty()) {
    readout_->hide();
    return;
  }
  readout_->setText(text);
  readout_->adjustSize();
  // In the upper corner away from the cursor, so that it never hides what is pointed at.
  const QRect area = plot_->axisRect()->rect();
  const bool left = pixel.x() > area.center().x();
  readout_->move(left ? area.left() + 4 : area.right() - readout_->width() - 4, area.top() + 4);
  readout_->show();
  readout_->raise();
}

bool ChartView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == plot_ && event->type() == QEvent::Leave) readout_->hide();
  return QWidget::eventFilter(watched, event);
}

void ChartView::ShowMenu(QPoint pixel) {
  QMenu menu(this);
  menu.addAction("Auto (show all)", this, &ChartView::ShowAll);
  QAction* band = menu.addAction("Zoom to rectangle (or Shift+drag)", this, &ChartView::SetRubberBand);
  band->setCheckable(true);
  band->setChecked(rubberBand_);
  band->setEnabled(zoomable_);
  menu.addSeparator();
  menu.addAction("CopyToBMP", this, &ChartView::CopyToClipboard);
  menu.addAction("Save...", this, &ChartView::SaveWithDialog);
  menu.exec(plot_->mapToGlobal(pixel));
}

AxisLimits ChartView::ShownTimeRange() const { return ShownRange(AxisSide::Bottom); }

QImage ChartView::Picture() {
  if (stale_) Draw();
  const QSize size = plot_->size().isEmpty() ? QSize(640, 400) : plot_->size();
  return plot_->toPixmap(size.width(), size.height()).toImage();
}

void ChartView::CopyToClipboard() { QApplication::clipboard()->setImage(Picture()); }

QString ChartView::Save(const SaveRequest& request) {
  if (stale_) Draw();
  const QString suffix = QFileInfo(request.path).suffix().toLower();
  const int w = request.size.width(), h = request.size.height();
  bool written = false;
  if (suffix == "csv") {
    QFile file(request.path);
    const std::string csv = ChartCsv(chart_);
    written = file.open(QIODevice::WriteOnly) &&
              file.write(csv.data(), static_cast<qint64>(csv.size())) == static_cast<qint64>(csv.size()) &&
              file.flush();
  } else if (suffix == "png") {
    written = plot_->savePng(request.path, w, h);
  } else if (suffix == "pdf") {
    written = plot_->savePdf(request.path, w, h);
  } else if (suffix == "svg") {
    QSvgGenerator svg;
    svg.setFileName(request.path);
    svg.setSize(request.size);
    svg.setViewBox(QRect(0, 0, w, h));
    QCPPainter painter;
    written = painter.begin(&svg);
    if (written) {
      plot_->toPainter(&painter, w, h);
      written = painter.end() && QFileInfo(request.path).size() > 0;
    }
  } else {
    return QString("%1: unknown format; the name must end in .png, .svg, .pdf or .csv").arg(request.path);
  }
  return written ? QString() : QString("%1: could not be written").arg(request.path);
}

void ChartView::SaveWithDialog() {
  const std::optional<SaveRequest> request = askForSave(*this);
  if (!request) return;
  if (const QString failure = Save(*request); !failure.isEmpty() && reportSaveFailure) reportSaveFailure(failure);
}

QPushButton* SaveButton(ChartView* view, QWidget* parent) {
  auto* button = new QPushButton("Save...", parent);
  button->setToolTip("Saves the chart as a PNG, SVG or PDF picture, or the data of its shown series as CSV");
  QObject::connect(button, &QPushButton::clicked, view, &ChartView::SaveWithDialog);
  return button;
}

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
