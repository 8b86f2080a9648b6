#pragma once
// Draws a velmora::Chart. The chart model stays the truth: the view keeps a
// reference to it, rebuilds its picture from it on Refresh(), and writes back
// only what the user changes with the mouse (a series hidden or shown).
// The plotting library is known to ChartView.cpp alone.

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <functional>
#include <vector>

#include "charts/Chart.h"

class QCustomPlot;
class QCPAbstractPlottable;

namespace velmora::app {

class ChartView : public QWidget {
  Q_OBJECT

 public:
  enum class SeriesClick { None, Hide, Toggle };

  explicit ChartView(Chart& chart, QWidget* parent = nullptr);
  ~ChartView() override;

  Chart& chart() { return chart_; }

  // Draws the model as it stands now. A hidden view only remembers that it
  // is out of date and draws when it is shown.
  void Refresh();

  // What a click and a double click on a series do. Clicks on the legend
  // toggle the series in every chart, so that a hidden series can be found again.
  void SetSeriesClick(SeriesClick click) { click_ = click; }
  void SetSeriesDoubleClick(SeriesClick click) { doubleClick_ = click; }
  // Called after a click changed a series, and on a double click beside every series.
  std::function<void()> onSeriesChanged;
  std::function<void()> onBackgroundDoubleClicked;

  // The bottom axis as drawn (ms), for the "Adjust scales to ..." commands.
  AxisLimits ShownTimeRange() const;

  // The whole chart on white, as "CopyToBMP" puts it on the clipboard.
  QImage Picture();
  void CopyToClipboard();

  // What is drawn, for tests: the plotted series, whether series k is
  // visible, the pixel of a point on the bottom and left axes, and the
  // widget that receives the mouse.
  int DrawnSeriesCount() const;
  bool DrawnVisible(int series) const;
  QPoint PixelOf(double x, double y) const;
  QWidget* Canvas() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Draw();
  void ApplyClick(SeriesClick click, int series);
  int IndexOf(const QCPAbstractPlottable* p) const;  // the series it draws, or -1

  Chart& chart_;
  QCustomPlot* plot_;
  bool stale_ = true;
  SeriesClick click_ = SeriesClick::None;
  SeriesClick doubleClick_ = SeriesClick::Hide;
  std::vector<QCPAbstractPlottable*> drawn_;  // per series; null for bubbles and shapes
};

// "Adjust scales to ...": the time axis of `target` stops scaling by itself
// and takes the limits that `source` shows.
void AdoptTimeAxis(Chart& target, const ChartView& source);
// "Auto": the time axis scales by itself again.
void AutoTimeAxis(Chart& target);

}  // namespace velmora::app
