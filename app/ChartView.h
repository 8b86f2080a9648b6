#pragma once
// Draws a velmora::Chart. The chart model stays the truth: the view keeps a
// reference to it, rebuilds its picture from it on Refresh(), and writes back
// only what the user changes with the mouse (a series hidden or shown).
// Zooming and panning are the view's own: they override the ranges the
// model gives until "Auto", a double click beside the curves, or the program
// setting that axis anew. The plotting library is known to ChartView.cpp alone.
//
// Mouse: wheel zooms both axes (Ctrl: the horizontal one only, Shift: the
// vertical ones only); drag pans; Shift+drag, or drag with "Zoom to
// rectangle" on, zooms to a rectangle; the corner read-out shows the values
// under the cursor and the nearest point; the right button offers the view
// commands and "Save...".

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "charts/Chart.h"

class QCustomPlot;
class QCPAbstractPlottable;
class QLabel;
class QPushButton;
class QTimer;

namespace velmora::app {

class ChartView : public QWidget {
  Q_OBJECT

 public:
  enum class SeriesClick { None, Hide, Toggle };

  explicit ChartView(Chart& chart, QWidget* parent = nullptr);
  ~ChartView() override;

  Chart& chart() { return chart_; }
  // A readable chart when a window sizes itself to its contents.
  QSize sizeHint() const override { return {480, 300}; }

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

  // The range an axis shows now, zoomed or not.
  AxisLimits ShownRange(AxisSide side) const;
  // Back to the ranges the model gives (the user's zoom dropped).
  void ResetZoom();
  // "Auto": the user's zoom dropped and the time axis scaling by itself again.
  void ShowAll();
  // A colour bar is no chart to zoom into.
  void SetZoomable(bool zoomable);
  // "Zoom to rectangle": a drag draws a rectangle to zoom to instead of panning.
  void SetRubberBand(bool on);
  bool rubberBand() const { return rubberBand_; }

  // What the read-out says for the mouse at this pixel of the canvas: the
  // values under it and, within a few pixels, the nearest point of a shown
  // series with its title. Empty outside the plot area.
  QString ReadoutAt(QPoint pixel) const;
  QString readout() const;  // the read-out shown now; empty when hidden

  // The whole chart on white, as "CopyToBMP" puts it on the clipboard.
  QImage Picture();
  void CopyToClipboard();

  // "Save...": the format follows the suffix of the path: ".png", ".svg",
  // ".pdf" draw the chart at `size` (pixels; points for PDF), ".csv" writes
  // the data of the shown series (ChartCsv).
  struct SaveRequest {
    QString path;
    QSize size;
  };
  // The question "Save..." asks: a dialog unless replaced (by tests);
  // nothing when cancelled.
  std::function<std::optional<SaveRequest>(const ChartView&)> askForSave;
  // Where a failed save is reported: a message box unless replaced.
  std::function<void(const QString&)> reportSaveFailure;
  // Writes the file; empty when it was written, else what went wrong.
  QString Save(const SaveRequest& request);
  void SaveWithDialog();

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
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The range the user zoomed or panned an axis to, and the model's setting
  // of that axis at the time: when the program sets the axis anew, its
  // setting wins.
  struct Zoom {
    bool on = false;
    AxisLimits range{};
    bool automatic = true;
    AxisLimits set{};
  };

  void Draw();
  void PlaceLegend();
  void ApplyClick(SeriesClick click, int series);
  void OnUserRange(AxisSide side, double lower, double upper);
  void ShowReadout(QPoint pixel);
  void ShowMenu(QPoint pixel);
  int IndexOf(const QCPAbstractPlottable* p) const;  // the series it draws, or -1

  Chart& chart_;
  QCustomPlot* plot_;
  QLabel* readout_;
  QTimer* settle_;  // redraws once a zoom has settled: thinned markers follow the new range
  bool stale_ = true;
  bool drawing_ = false;
  bool zoomable_ = true;
  bool rubberBand_ = false;
  std::array<Zoom, 4> zoom_{};  // by AxisSide
  SeriesClick click_ = SeriesClick::None;
  SeriesClick doubleClick_ = SeriesClick::Hide;
  std::vector<QCPAbstractPlottable*> drawn_;  // per series; null for bubbles and shapes
};

// A "Save..." button for the view, to sit beside its "CopyToBMP".
QPushButton* SaveButton(ChartView* view, QWidget* parent);

// "Adjust scales to ...": the time axis of `target` stops scaling by itself
// and takes the limits that `source` shows.
void AdoptTimeAxis(Chart& target, const ChartView& source);
// "Auto": the time axis scales by itself again.
void AutoTimeAxis(Chart& target);

}  // namespace velmora::app
