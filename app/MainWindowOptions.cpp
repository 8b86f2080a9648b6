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

void SetsZeroOnDoubleClick(NumberField* field) {
  field->onDoubleClicked = [field] { field->setValue(0); };
}

}  // namespace

QWidget* MainWindow::BuildOptionsPage() {
  auto* page = new QWidget;
  auto* columns = new QHBoxLayout(page);

  // Column 1: drawing and the few general fields.
  parts_.Skip = fields_.Number("Skip");
  parts_.Skip->onDoubleClicked = [this] {
    settings_.Skip = std::trunc(settings_.Skip) != 1 ? 1 : 30;
    parts_.Skip->Load();
  };
  NumberField* bridge = fields_.Number({"Bridge", 2, 1}, session_.Bridge);
  bridge->SetReadOnly(true);
  parts_.pointsSizeIncrease = fields_.Number("Points_size_increase");
  parts_.pointsSizeIncrease->onChanged = [this] {
    const int by = static_cast<int>(std::lround(settings_.PointsSizeIncrease));
    IncreaseMarkerSize(session_.charts.voltage, by);
    IncreaseMarkerSize(session_.charts.current, by);
    parts_.voltage->Refresh();
    parts_.current->Refresh();
  };
  auto* general = Group("", {fields_.Number("n_Draw"), fields_.Number("n_Pointer"), parts_.Skip, bridge,
                             fields_.Number("to_be"), parts_.pointsSizeIncrease});

  auto* criteria = Group("Spike criteria", {fields_.Number("V_min"), fields_.Number("dVdt_min"),
                                            fields_.Number("d2Vdt2_min"), fields_.Number("TimeWindow")});
  auto* ahp = Group("AHP fast", {fields_.Number("AHP_fast.dVdt_min"), fields_.Number("TimeSincePeak")});
  auto* channels =
      Group("ABF and ATF channels", {fields_.Number("Voltage_channel"), fields_.Number("Current_channel")});
  channels->setToolTip("-1: by unit (voltage: the first channel in mV, else in V; current: the first in pA, else in "
                       "nA, else the command)");
  auto* column1 = new QVBoxLayout;
  for (QWidget* w : {general, criteria, ahp, channels}) column1->addWidget(w);
  column1->addStretch();

  // Column 2: filtering, threshold, parameter sets and the F-I analysis.
  auto* filtering =
      Group("Filtering", {fields_.Check("Filter"), fields_.Number("Filter_scale"), fields_.Number("Iterations")});
  auto* threshold = Group("Threshold", {fields_.Number("Scale_of_curvature")});
  parts_.parameterSet[0] = new QRadioButton("Default");
  parts_.parameterSet[1] = new QRadioButton("Kelmar's set of parameters");
  auto* sets = Group("Adjusted sets of parameters", {parts_.parameterSet[0], parts_.parameterSet[1]});
  parts_.parameterSet[1]->setChecked(true);
  for (int item : {0, 1})
    connect(parts_.parameterSet[item], &QRadioButton::clicked, this, [this, item] { ApplyParameterSet(item); });

  NumberField* limit = fields_.Number("Limit_interval_for_analysis_by");
  SetsZeroOnDoubleClick(limit);
  auto* cut = new QWidget;
  auto* cutRow = new QHBoxLayout(cut);
  cutRow->setContentsMargins(0, 0, 0, 0);
  cutRow->addWidget(fields_.Check("Cut_spike_train"));
  cutRow->addWidget(fields_.Number("ISI_changes_in_times"));
  auto* rewrite = new QRadioButton("Rewrite output files");
  auto* append = new QRadioButton("Append output files");
  (settings_.fi.AppendOutput ? append : rewrite)->setChecked(true);
  connect(append, &QRadioButton::toggled, this, [this](bool on) { settings_.fi.AppendOutput = on; });
  auto* fiGroup = Group("F-I-curves ", {limit, cut, fields_.Number("nu_Last_if_number_of_spikes"),
                                        fields_.Check("nu_Last_on_last_1/3"), fields_.Check("nu_Last_on_last_2/3"),
                                        fields_.Check("nu_Last_0_if_a_break"), fields_.Check("VT_etc_0_if_a_break"),
                                        rewrite, append});
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
  parts_.Smpl = fields_.Number("Smpl");
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
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  NumberField* g1 = fields_.Number("G1");
  NumberField* c1c = fields_.Number("C1/C");
  parts_.compensationMode = fields_.List("compensation_mode");
  auto* delays = new QWidget;
  auto* delayRow = new QHBoxLayout(delays);
  delayRow->setContentsMargins(0, 0, 0, 0);
  delayRow->addWidget(new QLabel("delays"));
  const char* delayNames[3] = {"delay_I", "delay_T", "delay_V"};
  for (int k = 0; k < 3; ++k) {
    parts_.delays[k] = fields_.Number(delayNames[k]);
    parts_.delays[k]->spin()->setMinimumWidth(50);
    SetsZeroOnDoubleClick(parts_.delays[k]);
    delayRow->addWidget(parts_.delays[k]);
  }
  parts_.tauIfilt = fields_.Number("tau_Ifilt");
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
  NumberField* gScale = fields_.Number("G_scale");
  SetsZeroOnDoubleClick(gScale);
  layout->addWidget(fields_.Number("Meander_pos_pulse_understimation"));
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
