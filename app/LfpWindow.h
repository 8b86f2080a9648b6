#pragma once
// "Form10: LFP": the local field potential recorded beside the voltage,
// low-pass filtered as drawn. Shown exactly when the recording has an LFP.

#include <QWidget>
#include <functional>

#include "app/Fields.h"
#include "session/Session.h"
#include "session/Settings.h"

namespace velmora::app {

class ChartView;

class LfpWindow : public QWidget {
  Q_OBJECT

 public:
  // `voltage` is the main window's voltage chart, whose time axis
  // "Adjust scales to voltage plot" copies.
  // `voltage` and `firingClamp` are the partners of the two "Adjust" buttons.
  LfpWindow(Session& session, Settings& settings, const ChartView& voltage, const ChartView& firingClamp,
            QWidget* parent = nullptr);

  void Refresh();
  ChartView* chartView() const { return view_; }
  NumberField* tauField() const { return tau_; }

  std::function<void()> onTauChanged;  // the LFP is drawn again with the new constant

 private:
  Session& session_;
  FieldBinder fields_;
  ChartView* view_;
  NumberField* tau_;
};

}  // namespace velmora::app
