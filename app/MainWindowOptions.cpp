// The settings pages of the main window: "Options", "Sample", "Compensation"
// and "Saturation", each field bound to its settings struct.

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <cmath>

#include "app/ChartView.h"
#include "app/Fields.h"
#include "app/MainWindow.h"

namespace velmora::app {

namespace {

// Two boxes of which at most one is ticked.
void Exclusive(QCheckBox* a, QCheckBox* b) {
  QObject::connect(a, &QCheckBox::toggled, b, [b](bool on) {
    if (on) b->setChecked(false);
  });
  QObject::connect(b, &QCheckBox::toggled, a, [a](bool on) {
    if (on) a->setChecked(false);
  });
}

void SetsZeroOnDoubleClick(NumberField* field) {
  field->onDoubleClicked = [field] { field->setValue(0); };
}

}  // namespace

QWidget* MainWindow::BuildOptionsPage() {
  Settings& s = settings_;
  auto* page = new QWidget;
  auto* columns = new QHBoxLayout(page);

  // Column 1: drawing and the few general fields.
  parts_.Skip = fields_.Number({"Skip", 0, 1, 0, 1e9}, s.Skip);
  parts_.Skip->onDoubleClicked = [this] {
    settings_.Skip = std::trunc(settings_.Skip) != 1 ? 1 : 30;
    parts_.Skip->Load();
  };
  NumberField* bridge = fields_.Number({"Bridge", 2, 1}, session_.Bridge);
  bridge->SetReadOnly(true);
  parts_.pointsSizeIncrease = fields_.Number({"Points' size increase", 0, 1, -100, 100}, s.PointsSizeIncrease);
  parts_.pointsSizeIncrease->onChanged = [this] {
    const int by = static_cast<int>(std::lround(settings_.PointsSizeIncrease));
    IncreaseMarkerSize(session_.charts.voltage, by);
    IncreaseMarkerSize(session_.charts.current, by);
    parts_.voltage->Refresh();
    parts_.current->Refresh();
  };
  auto* general = Group("", {fields_.Number({"n_Draw", 0, 1, 0, 1e9}, s.nDraw),
                             fields_.Number({"n_Pointer", 0, 20, 0, 1e9}, s.nPointer), parts_.Skip, bridge,
                             fields_.Number({"to be > ", 0, 1}, s.fi.ToBeAbove), parts_.pointsSizeIncrease});

  SpikeCriteriaRec& c = s.spikes.SpikeCriteria;
  auto* criteria = Group("Spike criteria", {
      fields_.Number({"V_min=                                     mV", 0, 1}, c.V_min),
      fields_.Number({"dVdt_min=                               mV/ms", 0, 1}, c.dVdt_min),
      fields_.Number({"d2Vdt2_min=                          mV/ms^2", 0, 1}, c.d2Vdt2_min),
      fields_.Number({"TimeWindow                          ms", 2, 10}, c.TimeWindow, 1000)});
  auto* ahp = Group("AHP fast", {
      fields_.Number({"dVdt_min=                                     mV/ms", 0, 1}, s.spikes.AHPfast.dVdt_min),
      fields_.Number({"TimeSincePeak                          ms", 2, 10}, s.spikes.AHPfast.TimeSincePeak, 1000)});
  auto* column1 = new QVBoxLayout;
  for (QWidget* w : {general, criteria, ahp}) column1->addWidget(w);
  column1->addStretch();

  // Column 2: filtering, threshold, parameter sets and the F-I analysis.
  auto* filtering = Group("Filtering", {fields_.Check("Filter", s.filter.on),
                                        fields_.Number({"Filter scale                          ms", 2, 0.05, 0, 1e6},
                                                       s.filter.tauF),
                                        fields_.Number({"Iterations", 0, 1, 0, 1e6}, s.filter.iterations)});
  auto* threshold =
      Group("Threshold", {fields_.Number({"Scale of curvature, mV/ms", 2, 0.1}, s.spikes.ThresholdScale)});
  parts_.parameterSet[0] = new QRadioButton("Default");
  parts_.parameterSet[1] = new QRadioButton("Kelmar's set of parameters");
  auto* sets = Group("Adjusted sets of parameters", {parts_.parameterSet[0], parts_.parameterSet[1]});
  parts_.parameterSet[1]->setChecked(true);
  for (int item : {0, 1})
    connect(parts_.parameterSet[item], &QRadioButton::clicked, this, [this, item] { ApplyParameterSet(item); });

  FISettings& fi = s.fi;
  NumberField* limit = fields_.Number({"Limit interval for analysis by                            ms", 2, 500, 0, 1e12},
                                      fi.LimitInterval);
  SetsZeroOnDoubleClick(limit);
  auto* cut = new QWidget;
  auto* cutRow = new QHBoxLayout(cut);
  cutRow->setContentsMargins(0, 0, 0, 0);
  cutRow->addWidget(fields_.Check("Cut spike train if ISI changes in                     times", fi.CutTrain));
  cutRow->addWidget(fields_.Number({"", 1, 0.1, 0, 1e6}, fi.CutFactor));
  QCheckBox* lastThird = fields_.Check("Calculate nu_Last  on last 1/3 of stim. period", fi.nuLastLastThird);
  QCheckBox* lastTwoThirds = fields_.Check("Calculate nu_Last  on last 2/3 of stim. period", fi.nuLastLastTwoThirds);
  Exclusive(lastThird, lastTwoThirds);
  auto* rewrite = new QRadioButton("Rewrite output files");
  auto* append = new QRadioButton("Append output files");
  (fi.AppendOutput ? append : rewrite)->setChecked(true);
  connect(append, &QRadioButton::toggled, this, [this](bool on) { settings_.fi.AppendOutput = on; });
  auto* fiGroup = Group("F-I-curves ", {limit, cut,
                                        fields_.Number({"Calculate  nu_Last  if number of spikes >", 0, 1},
                                                       fi.nuLastMinSpikes),
                                        lastThird, lastTwoThirds,
                                        fields_.Check("nu_Last=0 if a break in spike train occurs",
                                                      fi.nuLastZeroOnBreak),
                                        fields_.Check("VT etc. = 0  if a break occurs", fi.ZeroOnBreak), rewrite,
                                        append});
  auto* column2 = new QVBoxLayout;
  for (QGroupBox* w : {filtering, threshold, sets, fiGroup}) column2->addWidget(w);
  column2->addStretch();

  for (QVBoxLayout* column : {column1, column2}) columns->addLayout(column);
  columns->addStretch();

  auto* scroll = new QScrollArea;
  scroll->setWidget(page);
  scroll->setWidgetResizable(true);
  return scroll;
}

QWidget* MainWindow::BuildSamplePage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  parts_.Smpl = fields_.Number({"Smpl", 0, 1}, settings_.Smpl);
  parts_.Smpl->onChanged = [this] { OnSmplChanged(); };
  NumberField* g = fields_.Number({"g_Clamped", 2, 1}, session_.gClamped);
  NumberField* i = fields_.Number({"I_Clamped", 2, 1}, session_.iClamped);
  for (NumberField* shown : {g, i}) shown->SetReadOnly(true);
  for (QWidget* w : {static_cast<QWidget*>(parts_.Smpl), static_cast<QWidget*>(g), static_cast<QWidget*>(i)})
    layout->addWidget(w);
  layout->addStretch();
  return page;
}

QWidget* MainWindow::BuildCompensationPage() {
  CompensationSettings& c = settings_.compensation;
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  NumberField* g1 = fields_.Number({"G1,nS", 0, 1}, c.G1);
  NumberField* c1c = fields_.Number({"C1/C", 2, 0.1}, c.C1C);
  parts_.compensationMode = new QComboBox;
  parts_.compensationMode->addItems({"Don't use Ireal and FC.Meander", "Use Ireal delayed or filtered",
                                     "Use FC.Meander", "C&G compensation after Estimation",
                                     "C&G compensation after Estimation w/o Meander",
                                     "tau&G compens. after Estimation w/o Meander", "tau&G compens. after Estimation"});
  parts_.compensationMode->setCurrentIndex(static_cast<int>(c.mode));
  connect(parts_.compensationMode, &QComboBox::currentIndexChanged, this,
          [this](int item) { settings_.compensation.mode = static_cast<CompensationMode>(item); });
  auto* delays = new QWidget;
  auto* delayRow = new QHBoxLayout(delays);
  delayRow->setContentsMargins(0, 0, 0, 0);
  delayRow->addWidget(new QLabel("delays"));
  double* delayValues[3] = {&c.DelayI, &c.DelayT, &c.DelayV};
  for (int k = 0; k < 3; ++k) {
    parts_.delays[k] = fields_.Number({"", 0, 1, 0, 1e6}, *delayValues[k]);
    parts_.delays[k]->spin()->setMinimumWidth(50);
    SetsZeroOnDoubleClick(parts_.delays[k]);
    delayRow->addWidget(parts_.delays[k]);
  }
  parts_.tauIfilt = fields_.Number({"tau_Ifilt, mus", 0, 30, 0, 1e9}, c.tauIfilt);
  parts_.compensationDefaults = new QCheckBox("Defaults");
  connect(parts_.compensationDefaults, &QCheckBox::clicked, this, &MainWindow::OnCompensationDefaults);
  for (NumberField* f : {g1, c1c}) SetsZeroOnDoubleClick(f);
  layout->addWidget(Group("Offline electrode compensation",
                          {g1, c1c, parts_.compensationMode, delays, parts_.tauIfilt, parts_.compensationDefaults}));
  layout->addStretch();
  return page;
}

QWidget* MainWindow::BuildSaturationPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  NumberField* gScale = fields_.Number({"G_scale, nS", 1, 0.2}, settings_.approx.Gs);
  SetsZeroOnDoubleClick(gScale);
  layout->addWidget(fields_.Number({"Meander pos. pulse understimation, pA ", 0, 10}, settings_.approx.U));
  layout->addWidget(gScale);
  layout->addStretch();
  return page;
}

// "Defaults": the compensation values that work for most cells, with the
// hand-tuned delays and filter locked while the box is ticked.
void MainWindow::OnCompensationDefaults(bool checked) {
  CompensationSettings& c = settings_.compensation;
  compensationDefaults_ = checked;
  if (checked) {
    parts_.compensationMode->setCurrentIndex(1);
    c.G1 = 15;
    c.C1C = 0.8;
    c.tauIfilt = 60;
    parts_.compensationMode->setCurrentIndex(4);
    settings_.estimations.corrections.VI = -71;
    settings_.estimations.corrections.Ioffset = 0;
    fields_.LoadAll();
  }
  parts_.tauIfilt->setEnabled(!checked);
  for (NumberField* d : parts_.delays) d->setEnabled(!checked);
}

}  // namespace velmora::app
