#pragma once
// The "Lissajous" tab: current against voltage, the phase plot and, on
// request, dI/dV against time, inside a window of analysis. The main window
// runs the drawing; the page keeps its settings and charts.

#include <QWidget>
#include <functional>

#include "analyses/Lissajous.h"
#include "app/Fields.h"

class QPushButton;

namespace velmora::app {

class ChartView;

class LissajousPage : public QWidget {
  Q_OBJECT

 public:
  explicit LissajousPage(QWidget* parent = nullptr);

  const LissajousSettings& settings() const { return settings_; }
  LissajousCharts& charts() { return charts_; }
  // "Start, ms" and "End, ms" as the tab sets them when it is shown.
  void SetWindow(double tStart, double tEnd);
  // The dI/dV chart appears once it has been drawn.
  void ShowDrawnCharts();

  // After "End, ms" or "tau_filt, ms" changed (and the window was made at
  // least 10 ms long): the plots are due again.
  std::function<void()> onWindowChanged;

  struct Controls {
    QPushButton* lissajous = nullptr;  // " Lissajous"
    QPushButton* dIdV = nullptr;       // "Draw dI/dV"
    QPushButton* adjust = nullptr;     // "Adjust scales to current plot" of the dI/dV chart
    NumberField* start = nullptr;
    NumberField* end = nullptr;
    NumberField* tau_filt = nullptr;
    ChartView* current = nullptr;
    ChartView* phase = nullptr;
    ChartView* dIdVView = nullptr;
    QWidget* dIdVPanel = nullptr;  // the dI/dV chart with its buttons
  };
  const Controls& controls() const { return controls_; }

 private:
  void OnEndOrFilterChanged();

  LissajousSettings settings_;
  LissajousCharts charts_;
  FieldBinder fields_;
  Controls controls_;
  bool align_ = false;  // the dI/dV chart's "Align to stimuli": the plots do not use it
};

}  // namespace velmora::app
