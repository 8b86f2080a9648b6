#include "app/SplittingForm.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ChartView.h"

namespace velmora::app {

SplittingForm::SplittingForm(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("Form8");
  setWindowTitle("Form8: Varnel's method of splitting conductances");
  SplitSettings& s = settings_;
  Controls& c = controls_;
  charts_.voltage.left.title = "mV";
  charts_.conductance.left.title = "nS";
  // Seconds, as the core draws them.
  for (Chart* chart : {&charts_.voltage, &charts_.conductance}) chart->bottom.title = std::string("s");
  c.voltage = new ChartView(charts_.voltage, this);
  c.conductance = new ChartView(charts_.conductance, this);

  c.markAtZero = new QPushButton("Mark the current trace as a trace at 0-current", this);
  c.markAtCurrent = new QPushButton("Mark the current trace as a trace at the following current (pA):", this);
  c.setConstant = new QPushButton("Set  constant voltage as V(t)=                  mV", this);
  c.split = new QPushButton("Split conductances", this);
  c.I2 = fields_.Number({"", 0, 1}, s.I2);
  c.Vconst = fields_.Number({"", 0, 1}, s.Vconst);
  c.timeShift = fields_.Number({"time shift, ms", 2, 0.1}, s.timeShift);
  c.filterWeight = fields_.Number({"Filter weight", 3, 0.01, 0, 1}, s.filterWeight);
  c.iterations = fields_.Number({"Iterations", 0, 1, 0, 1e6}, s.Iterations);
  c.GL = fields_.Number({"GL, nS", 2, 1}, s.GL);

  auto* settings = new QGridLayout;
  QWidget* const fields[] = {fields_.Number({"VE, mV", 0, 1}, s.VE), fields_.Number({"VI, mV", 0, 1}, s.VI),
                                   c.timeShift, c.filterWeight, c.iterations,
                                   fields_.Number({"Ra, MOhm", 0, 1}, s.Ra), c.GL,
                                   fields_.Number({"VL, mV", 0, 1}, s.VL)};
  for (int k = 0; k < 8; ++k) settings->addWidget(fields[k], k / 4, k % 4);
  settings->addWidget(c.markAtZero, 2, 0, 1, 2);
  settings->addWidget(c.markAtCurrent, 3, 0, 1, 2);
  settings->addWidget(c.I2, 3, 2);
  settings->addWidget(c.setConstant, 4, 0, 1, 2);
  settings->addWidget(c.Vconst, 4, 2);
  settings->addWidget(c.split, 2, 2);

  // Pure view commands: nothing of the analysis changes.
  auto* hideLegends = new QPushButton("Hide legends", this);
  connect(hideLegends, &QPushButton::clicked, this, [this] {
    charts_.voltage.legendShown = charts_.conductance.legendShown = !charts_.voltage.legendShown;
    Refresh();
  });
  auto* activateAll = new QPushButton("Activate all curves", this);
  connect(activateAll, &QPushButton::clicked, this, [this] {
    ActivateAllCurves(charts_.voltage);
    ActivateAllCurves(charts_.conductance);
    Refresh();
  });
  auto* chartColumn = new QVBoxLayout;
  for (ChartView* view : {c.voltage, c.conductance}) {
    auto* copy = new QPushButton("CopyToBMP", this);
    connect(copy, &QPushButton::clicked, view, &ChartView::CopyToClipboard);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(copy);
    buttons->addWidget(SaveButton(view, this));
    buttons->addStretch();
    chartColumn->addLayout(buttons);
    chartColumn->addWidget(view, 1);
  }
  auto* viewButtons = new QHBoxLayout;
  viewButtons->addWidget(hideLegends);
  viewButtons->addWidget(activateAll);
  viewButtons->addStretch();

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(settings);
  layout->addLayout(viewButtons);
  layout->addLayout(chartColumn, 1);
  resize(900, 700);
}

void SplittingForm::Refresh() {
  fields_.LoadAll();
  controls_.voltage->Refresh();
  controls_.conductance->Refresh();
}

}  // namespace velmora::app
