#pragma once
// "Form2: F_I_curves": the firing rates of every F-I run against the clamp
// current and conductance. Points accumulate over runs until "Clear".

#include <QWidget>

#include "session/Session.h"

namespace velmora::app {

class ChartView;

class FiCurvesWindow : public QWidget {
  Q_OBJECT

 public:
  explicit FiCurvesWindow(Session& session, QWidget* parent = nullptr);

  void Refresh();
  void Clear();
  ChartView* currentView() const { return current_; }
  ChartView* conductanceView() const { return conductance_; }

 private:
  Session& session_;
  ChartView* current_;
  ChartView* conductance_;
};

}  // namespace velmora::app
