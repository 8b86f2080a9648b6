#pragma once
// "Form5: Estimations_FC": the current and conductance estimated pulse by
// pulse beside those applied, GE and GI, the inverted z values and their
// means over time bins; and the corrections and model settings that the
// compensation and the estimation read. The main window runs the buttons
// "Average" and "Analytic"; the window only draws and edits settings.

#include <QList>
#include <QWidget>
#include <functional>

#include "app/Fields.h"
#include "firingclamp/Averaging.h"
#include "firingclamp/EstimateFC.h"

class QCheckBox;
class QPushButton;

namespace velmora::app {

class ChartView;

class EstimationsWindow : public QWidget {
  Q_OBJECT

 public:
  // `fcTimeView` gives the firing-clamp time chart of the main window (null
  // while there is none), whose time axis "Adjust scales to voltage plot" copies.
  EstimationsWindow(EstimationCharts& charts, Settings& settings, std::function<const ChartView*()> fcTimeView,
                    QWidget* parent = nullptr);

  // Puts the voltage chart or the conductance chart in their common place,
  // as the last drawing chose.
  void PlaceDrawnChart();
  // That, and all charts drawn again.
  void Refresh();
  QList<ChartView*> views() const;
  bool voltageChartShown() const;

  std::function<void()> onAverage;
  std::function<void()> onAnalytic;

  struct Parts {
    ChartView* current = nullptr;
    ChartView* conductance = nullptr;
    ChartView* voltage = nullptr;
    ChartView* z = nullptr;
    QPushButton* average = nullptr;
    QPushButton* analytic = nullptr;
    QPushButton* activateAll = nullptr;
    QPushButton* hideLegends = nullptr;
    QPushButton* adjustToFC = nullptr;    // "Adjust scales to voltage plot"
    QPushButton* autoTime = nullptr;         // "Auto" of the current and conductance charts
    QPushButton* adjustToCurrent = nullptr;  // "Adjust scales to I-plot"
    QPushButton* autoZ = nullptr;            // "Auto" of the z chart
    QCheckBox* showLines = nullptr;
    QCheckBox* VfromGEGI = nullptr;
    QCheckBox* VsynOn = nullptr;
    QCheckBox* NMDAon = nullptr;
    NumberField* dt_av = nullptr;
    NumberField* Vjunction = nullptr;
    NumberField* VE = nullptr;
    NumberField* VI = nullptr;
    NumberField* Ioffset = nullptr;
    NumberField* Goffset = nullptr;
    NumberField* wFilter = nullptr;
    NumberField* VLss = nullptr;
    NumberField* Tau1 = nullptr;
    NumberField* Tau2 = nullptr;
    NumberField* Kcl = nullptr;
    NumberField* Mg = nullptr;
    NumberField* Veff = nullptr;
  };
  const Parts& parts() const { return parts_; }

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* BuildCharts();
  QWidget* BuildControls();

  EstimationCharts& charts_;
  EstimationsWindowSettings& settings_;
  std::function<const ChartView*()> fcTimeView_;
  FieldBinder fields_;
  Parts parts_;
  QWidget* conductancePanel_ = nullptr;  // the conductance chart with its buttons
  QWidget* voltagePanel_ = nullptr;      // the voltage chart, in the same place
  bool swapQueued_ = false;
};

}  // namespace velmora::app
