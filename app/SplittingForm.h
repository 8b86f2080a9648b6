#pragma once
// "Form8: Varnel's method of splitting conductances": the two marked traces,
// the settings of the split and its result. The window keeps what was marked
// for the whole run of the program; the main window binds its buttons to
// the sweep shown.

#include <QWidget>

#include "analyses/Splitting.h"
#include "app/Fields.h"

class QPushButton;

namespace velmora::app {

class ChartView;

class SplittingForm : public QWidget {
  Q_OBJECT

 public:
  explicit SplittingForm(QWidget* parent = nullptr);

  SplitSettings& settings() { return settings_; }
  MarkedTraces& marked() { return marked_; }
  SplitCharts& charts() { return charts_; }
  // The fields after the core changed them ("GL, nS"), and both charts.
  void Refresh();

  // What the main window connects; the rest the window does itself.
  struct Controls {
    QPushButton* markAtZero = nullptr;
    QPushButton* markAtCurrent = nullptr;
    QPushButton* setConstant = nullptr;
    QPushButton* split = nullptr;
    NumberField* timeShift = nullptr;
    NumberField* filterWeight = nullptr;
    NumberField* iterations = nullptr;
    NumberField* GL = nullptr;
    NumberField* I2 = nullptr;
    NumberField* Vconst = nullptr;
    ChartView* voltage = nullptr;
    ChartView* conductance = nullptr;
  };
  const Controls& controls() const { return controls_; }

 private:
  SplitSettings settings_;
  MarkedTraces marked_;
  SplitCharts charts_;
  FieldBinder fields_;
  Controls controls_;
};

}  // namespace velmora::app
