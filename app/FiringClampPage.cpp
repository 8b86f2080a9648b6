#include "app/FiringClampPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/ChartView.h"
#include "app/Fields.h"
#include "recording/Stimulus.h"

namespace velmora::app {

FiringClampPage::FiringClampPage(Session& session, Settings& settings, FieldBinder& fields, QWidget* parent)
    : QWidget(parent),
      session_(session),
      settings_(settings),
      time_(new ChartView(session.fcCharts.time, this)),
      vsI_(new ChartView(session.fcCharts.vsI, this)),
      vsG_(new ChartView(session.fcCharts.vsG, this)) {
  FiringClampCharts& charts = session.fcCharts;
  charts.time.left.title = "mV";
  charts.time.bottom.title = "ms";
  charts.vsI.bottom.title = std::string("I");
  charts.vsG.bottom.title = std::string("G");
  charts.vsI.left.title = charts.vsG.left.title = "mV";
  charts.vsI.right.title = charts.vsG.right.title = "ms, mV/ms";

  auto* top = new QHBoxLayout;
  top->addWidget(BuildSettings(fields));
  top->addWidget(vsI_, 1);
  top->addWidget(BuildWhichToPlot(fields));
  top->addWidget(vsG_, 1);

  adjust_ = new QPushButton("Adjust scales to current plot", this);
  auto* autoScale = new QPushButton("Auto", this);
  auto* copy = new QPushButton("CopyToBMP", this);
  connect(autoScale, &QPushButton::clicked, time_, &ChartView::ShowAll);
  connect(copy, &QPushButton::clicked, this, [this] { time_->CopyToClipboard(); });
  align_ = fields.Check("Align_to_stimuli");
  auto* chartRow = new QHBoxLayout;
  for (QWidget* w : {static_cast<QWidget*>(adjust_), static_cast<QWidget*>(autoScale), static_cast<QWidget*>(copy),
                     static_cast<QWidget*>(SaveButton(time_, this)), static_cast<QWidget*>(align_)})
    chartRow->addWidget(w);
  chartRow->addStretch();

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addLayout(chartRow);
  layout->addWidget(time_, 1);
  ShowState();
}

QWidget* FiringClampPage::BuildSettings(FieldBinder& fields) {
  calibrate_ = new QPushButton("Calibrate");
  approximate_ = new QPushButton("Approximate");
  erase_ = new QPushButton("Erase calibration");
  writeIG_ = new QPushButton("Write input I and G");
  connect(calibrate_, &QPushButton::clicked, this, &FiringClampPage::CalibrateMode);
  connect(approximate_, &QPushButton::clicked, this, &FiringClampPage::ApproximateMode);
  writeInFile_ = fields.Check("Write_in_file");
  approximateBox_ = fields.Check("Approximate");
  status_ = new QLabel;
  status_->setMinimumWidth(180);

  lost_ = fields.List("Lost_parameters");
  auto* lostGroup = Group("Lost parameters", {lost_, fields.Check("correct_Vus")});

  flaws_ = new QLabel;
  auto* column = new QWidget;
  auto* layout = new QVBoxLayout(column);
  layout->setContentsMargins(0, 0, 0, 0);
  for (QWidget* w : std::initializer_list<QWidget*>{
           calibrate_, approximate_, erase_, writeIG_, writeInFile_, approximateBox_, status_, lostGroup,
           fields.Number("Shift_input_vs_output"), new QLabel("Mark a pulse as a flaw"),
           fields.Number("if_V_discontinuity"), flaws_, fields.Number("Exclude_initial")})
    layout->addWidget(w);
  layout->addStretch();
  return column;
}

QWidget* FiringClampPage::BuildWhichToPlot(FieldBinder& fields) {
  return Group("Which to plot", {fields.Check("subV"), fields.Check("NegPulseD"), fields.Check("VT"),
                                 fields.Check("PulseV-VT"), fields.Check("PulseV"), fields.Check("dVdt"),
                                 fields.Check("VHalfPulse"), fields.Check("dVdt_V1"), fields.Check("dVdt_V2")});
}

void FiringClampPage::SetBold(QPushButton* bold, QPushButton* normal) {
  QFont f = bold->font();
  f.setBold(true);
  bold->setFont(f);
  f.setBold(false);
  normal->setFont(f);
}

void FiringClampPage::CalibrateMode() {
  SetBold(calibrate_, approximate_);
  writeInFile_->setChecked(true);
  approximateBox_->setChecked(false);
  // A second "Calibrate" must not overwrite what the first one remembered
  // with the unticked box it left behind.
  if (!alignBeforeCalibration_) alignBeforeCalibration_ = align_->isChecked();
  align_->setChecked(false);
}

void FiringClampPage::ApproximateMode() {
  SetBold(approximate_, calibrate_);
  writeInFile_->setChecked(false);
  approximateBox_->setChecked(true);
  // Without a calibration before it there is nothing to restore: the box stays as the user set it.
  if (alignBeforeCalibration_) align_->setChecked(*alignBeforeCalibration_);
  alignBeforeCalibration_.reset();
}

void FiringClampPage::ShowState() {
  const Pulses& p = session_.pulses;
  const bool analysed = p.nPulses + p.nFlaws > 0;
  flaws_->setText(QString("Number of flaws=") + (analysed ? QString::number(p.nFlaws) : QString()));
  // The group names the kind of the firing-clamp sweep shown, as its file gives it.
  const Recording& rec = session_.rec;
  if (rec.nFiles > 0 && rec.par.FiringClampOn == 1)
    settings_.load.lost = ChoiceOfKind(rec.par.ClampWave, settings_.load.lost);
  const QSignalBlocker block(lost_);
  lost_->setCurrentIndex(static_cast<int>(settings_.load.lost));
}

void FiringClampPage::SetStatus(const QString& text) { status_->setText(text); }

void FiringClampPage::Refresh() {
  for (ChartView* view : {time_, vsI_, vsG_}) view->Refresh();
}

}  // namespace velmora::app
