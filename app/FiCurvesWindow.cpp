#include "app/FiCurvesWindow.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ChartView.h"

namespace velmora::app {

namespace {

void SetUpAxes(Chart& chart, const char* bottom) {
  chart.bottom.title = bottom;
  chart.left.title = "Rate (Hz)";
  chart.right.title = "N of spikes";
}

}  // namespace

FiCurvesWindow::FiCurvesWindow(Session& session, QWidget* parent)
    : QWidget(parent, Qt::Window),
      session_(session),
      current_(new ChartView(session.charts.fiCurrent, this)),
      conductance_(new ChartView(session.charts.fiConductance, this)) {
  setWindowTitle("Form2: F_I_curves");
  setObjectName("Form2");
  SetUpAxes(session.charts.fiCurrent, "I/G_L (mV)");
  SetUpAxes(session.charts.fiConductance, "G/G_L");
  for (ChartView* view : {current_, conductance_}) {
    // A click toggles a series here: comparing runs means switching curves on and off.
    view->SetSeriesClick(ChartView::SeriesClick::Toggle);
    view->SetSeriesDoubleClick(ChartView::SeriesClick::None);
  }
  auto* clear = new QPushButton("Clear", this);
  connect(clear, &QPushButton::clicked, this, &FiCurvesWindow::Clear);
  auto* charts = new QHBoxLayout;
  charts->addWidget(current_);
  charts->addWidget(conductance_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(charts, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(clear);
  buttons->addStretch();
  layout->addLayout(buttons);
  resize(900, 420);
}

void FiCurvesWindow::Refresh() {
  current_->Refresh();
  conductance_->Refresh();
}

void FiCurvesWindow::Clear() {
  ClearAllSeries(session_.charts.fiCurrent);
  ClearAllSeries(session_.charts.fiConductance);
  Refresh();
}

}  // namespace velmora::app
