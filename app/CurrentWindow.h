#pragma once
// "Form6: current": the measured current of the firing-clamp sweep with the
// pulses marked, and the extracellular stimulation artefacts found on it.
// The main window runs "Find stimulation artifacts"; the window shows the
// chart and edits the detection settings.

#include <QWidget>
#include <functional>

#include "analyses/ExtracelStim.h"
#include "app/Fields.h"
#include "charts/Chart.h"

class QPushButton;

namespace velmora::app {

class ChartView;

class CurrentWindow : public QWidget {
  Q_OBJECT

 public:
  // The getters give the main window's current chart and its firing-clamp
  // time chart (null while there is none), whose time axes the two
  // "Adjust scales to ..." buttons copy.
  CurrentWindow(Chart& chart, Settings& settings, std::function<const ChartView*()> currentView,
                std::function<const ChartView*()> fcTimeView, QWidget* parent = nullptr);

  void Refresh();
  // Shows a limit the search is trying in "ddI_limit" without taking it as the setting.
  void ShowTriedLimit(double L);
  // Shows the settings again, the starting limit included.
  void LoadFields() { fields_.LoadAll(); }

  std::function<void()> onFind;

  struct Parts {
    ChartView* view = nullptr;
    NumberField* ddI_limit = nullptr;
    NumberField* frequency = nullptr;
    QPushButton* find = nullptr;
    QPushButton* adjustToCurrent = nullptr;  // "Adjust scales to voltage plot"
    QPushButton* adjustToFC = nullptr;       // "Adjust scales to voltage in FC"
    QPushButton* autoScale = nullptr;
  };
  const Parts& parts() const { return parts_; }

 private:
  Chart& chart_;
  FieldBinder fields_;
  Parts parts_;
};

}  // namespace velmora::app
