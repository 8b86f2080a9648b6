#include "app/StatisticsForm.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/ChartView.h"

namespace velmora::app {

namespace {

QGroupBox* RowGroup(const char* title, std::initializer_list<QWidget*> widgets) {
  auto* box = new QGroupBox(title);
  auto* layout = new QHBoxLayout(box);
  for (QWidget* w : widgets) layout->addWidget(w);
  layout->addStretch();
  return box;
}

}  // namespace

StatisticsForm::StatisticsForm(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("Form13");
  setWindowTitle("Form13: Statistics");
  setToolTip("Ghystogramand correlation function of the signal set");
  // As the window looks before its first pass; the pass sets the same.
  shown_.histogram.bottom.title = "Hz";
  shown_.correlation.bottom.title = shown_.correlation.top.title = "tau, ms";
  shown_.correlation.left.automatic = false;
  shown_.correlation.left.min = -0.2;
  shown_.correlation.left.max = 1.2;
  histogram_ = new ChartView(shown_.histogram, this);
  correlation_ = new ChartView(shown_.correlation, this);

  StatisticsSettings& s = settings_;
  NumberField* upper = fields_.Number({"Min and Max", 1, 1}, s.upper);
  NumberField* lower = fields_.Number({"", 1, 1}, s.lower);
  n_ = fields_.Number({"n_intervals", 0, 1, 0, 1e9}, s.n);
  ntCorr_ = fields_.Number({" nt_corr", 0, 100, 0, 1e9}, s.nt_corr);
  tau_ = new QLabel(QString::fromStdString(shown_.tauText), this);
  mean_ = new QLabel(QString::fromStdString(shown_.meanText), this);
  dispersion_ = new QLabel(QString::fromStdString(shown_.dispersionText), this);

  auto* left = new QVBoxLayout;
  left->addWidget(new QLabel("Ghystogram of firing rate", this), 0, Qt::AlignHCenter);
  left->addWidget(histogram_, 1);
  left->addWidget(RowGroup(" Parameters of ghystogram ", {upper, lower, n_}));
  auto* right = new QVBoxLayout;
  right->addWidget(new QLabel("Correlation function ", this), 0, Qt::AlignHCenter);
  right->addWidget(correlation_, 1);
  right->addWidget(RowGroup(" Parameters of corr. function", {ntCorr_, tau_, mean_, dispersion_}));
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 1);
  layout->addLayout(right, 1);
  resize(900, 420);
}

void StatisticsForm::Refresh() {
  tau_->setText(QString::fromStdString(shown_.tauText));
  mean_->setText(QString::fromStdString(shown_.meanText));
  dispersion_->setText(QString::fromStdString(shown_.dispersionText));
  // The top axis carries the same lags as the bottom one, which the series use.
  Chart& corr = shown_.correlation;
  const AxisLimits lags = Range(corr, AxisSide::Bottom);
  corr.top.automatic = false;
  corr.top.min = lags.min;
  corr.top.max = lags.max;
  histogram_->Refresh();
  correlation_->Refresh();
}

}  // namespace velmora::app
