#include "app/EstimationsWindow.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "app/ChartView.h"
#include "app/Fields.h"

namespace velmora::app {

namespace {

QPushButton* Button(const char* caption, QWidget* parent, std::function<void()> action) {
  auto* button = new QPushButton(caption, parent);
  QObject::connect(button, &QPushButton::clicked, button, std::move(action));
  return button;
}

// A chart under its row of buttons.
QWidget* Panel(ChartView* view, std::initializer_list<QWidget*> buttons) {
  auto* panel = new QWidget;
  auto* row = new QHBoxLayout;
  for (QWidget* b : buttons) row->addWidget(b);
  row->addStretch();
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(row);
  layout->addWidget(view, 1);
  return panel;
}

}  // namespace

EstimationsWindow::EstimationsWindow(EstimationCharts& charts, Settings& settings,
                                     std::function<const ChartView*()> fcTimeView, QWidget* parent)
    : QWidget(parent, Qt::Window),
      charts_(charts),
      settings_(settings.estimations),
      fcTimeView_(std::move(fcTimeView)),
      fields_(settings) {
  setWindowTitle("Form5: Estimations_FC");
  setObjectName("Form5");
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(BuildCharts(), 1);
  // The settings scroll rather than make the window taller than a small screen.
  QWidget* controls = BuildControls();
  auto* scroll = new QScrollArea(this);
  scroll->setWidget(controls);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setMinimumWidth(controls->minimumSizeHint().width() + scroll->verticalScrollBar()->sizeHint().width());
  layout->addWidget(scroll);
  PlaceDrawnChart();
  resize(1100, 800);
}

QWidget* EstimationsWindow::BuildCharts() {
  auto* charts = new QWidget(this);
  parts_.current = new ChartView(charts_.current, charts);
  parts_.conductance = new ChartView(charts_.conductance, charts);
  parts_.voltage = new ChartView(charts_.voltage, charts);
  parts_.z = new ChartView(charts_.z, charts);
  const auto copy = [charts](ChartView* view) {
    return Button("CopyToBMP", charts, [view] { view->CopyToClipboard(); });
  };
  const auto save = [charts](ChartView* view) { return SaveButton(view, charts); };

  parts_.adjustToFC = Button("Adjust scales to voltage plot", charts, [this] {
    const ChartView* fc = fcTimeView_ ? fcTimeView_() : nullptr;
    if (!fc) return;
    // The voltage chart stands in for the conductance chart, so it follows too.
    for (Chart* c : {&charts_.current, &charts_.conductance, &charts_.voltage}) AdoptTimeAxis(*c, *fc);
    Refresh();
  });
  parts_.autoTime = Button("Auto", charts, [this] {
    for (ChartView* view : {parts_.current, parts_.conductance, parts_.voltage}) view->ShowAll();
  });
  parts_.adjustToCurrent = Button("Adjust scales to I-plot", charts, [this] {
    AdoptTimeAxis(charts_.z, *parts_.current);
    parts_.z->Refresh();
  });
  parts_.autoZ = Button("Auto", charts, [this] { parts_.z->ShowAll(); });
  parts_.VLss = fields_.Number("V_from_GE_GI_VL");
  // Zeroes its own value; zeroing "Junction potential" from here would change
  // a correction the user did not touch.
  parts_.VLss->onDoubleClicked = [this] { parts_.VLss->setValue(0); };

  conductancePanel_ = Panel(parts_.conductance, {copy(parts_.conductance), save(parts_.conductance)});
  voltagePanel_ = Panel(parts_.voltage, {parts_.VLss, copy(parts_.voltage), save(parts_.voltage)});
  auto* layout = new QVBoxLayout(charts);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(
      Panel(parts_.current, {parts_.adjustToFC, parts_.autoTime, copy(parts_.current), save(parts_.current)}), 1);
  layout->addWidget(conductancePanel_, 1);
  layout->addWidget(voltagePanel_, 1);
  layout->addWidget(Panel(parts_.z, {parts_.adjustToCurrent, parts_.autoZ, copy(parts_.z), save(parts_.z)}), 1);

  // The driver draws into the charts behind the window's back; the place of
  // the conductance chart follows its model when the shown chart repaints.
  for (ChartView* view : {parts_.conductance, parts_.voltage}) view->Canvas()->installEventFilter(this);
  return charts;
}

QWidget* EstimationsWindow::BuildControls() {
  auto* controls = new QWidget(this);
  parts_.average = Button("Average", controls, [this] {
    if (onAverage) onAverage();
  });
  parts_.dt_av = fields_.Number("dt_av");
  parts_.analytic = Button("Analytic", controls, [this] {
    if (onAnalytic) onAnalytic();
  });
  parts_.analytic->setToolTip("Estimate G, I from dVdt at V1, V2");

  parts_.Vjunction = fields_.Number("Junction_potential");
  parts_.VE = fields_.Number("VE");
  parts_.VI = fields_.Number("VI");
  parts_.Ioffset = fields_.Number("Offset_current");
  parts_.Goffset = fields_.Number("Offset_cond");
  parts_.wFilter = fields_.Number("w_to_filter_z1_z2");
  for (NumberField* f : {parts_.Vjunction, parts_.Ioffset, parts_.Goffset, parts_.wFilter})
    f->onDoubleClicked = [f] { f->setValue(0); };

  parts_.activateAll = Button("Activate all curves", controls, [this] {
    for (Chart* chart : {&charts_.current, &charts_.conductance, &charts_.voltage, &charts_.z})
      ActivateAllCurves(*chart);
    Refresh();
  });
  parts_.hideLegends = Button("Hide legends", controls, [this] {
    for (Chart* chart : {&charts_.current, &charts_.conductance, &charts_.z}) chart->legendShown = !chart->legendShown;
    Refresh();
  });
  parts_.showLines = fields_.Check("show_lines");
  parts_.VfromGEGI = fields_.Check("V_from_GE_GI");

  parts_.VsynOn = fields_.Check("V_syn");
  parts_.Tau1 = fields_.Number("tau1");
  parts_.Tau2 = fields_.Number("tau2");
  parts_.Kcl = fields_.Number("k");
  for (NumberField* f : {parts_.Tau1, parts_.Tau2, parts_.Kcl}) f->setToolTip("see p.86");
  QGroupBox* reversal = Group("Reversal ", {parts_.VsynOn, parts_.Tau1, parts_.Tau2, parts_.Kcl});
  reversal->setToolTip("see p.86");

  parts_.NMDAon = fields_.Check("NMDA");
  parts_.NMDAon->setToolTip("see p.76");
  parts_.Mg = fields_.Number("Mg");
  parts_.Veff = fields_.Number("Veff");
  QGroupBox* nmda = Group("NMDA", {parts_.NMDAon, parts_.Mg, parts_.Veff});
  nmda->setToolTip("see p.76");

  auto* layout = new QVBoxLayout(controls);
  for (QWidget* w : std::initializer_list<QWidget*>{
           parts_.average, parts_.dt_av, parts_.analytic,
           Group("Corrections", {parts_.Vjunction, parts_.VE, parts_.VI, parts_.Ioffset, parts_.Goffset,
                                 parts_.wFilter}),
           parts_.activateAll, parts_.hideLegends, parts_.showLines, parts_.VfromGEGI, reversal, nmda})
    layout->addWidget(w);
  layout->addStretch();
  return controls;
}

void EstimationsWindow::Refresh() {
  PlaceDrawnChart();
  for (ChartView* view : views()) view->Refresh();
}

QList<ChartView*> EstimationsWindow::views() const {
  return {parts_.current, parts_.conductance, parts_.voltage, parts_.z};
}

bool EstimationsWindow::voltageChartShown() const { return !voltagePanel_->isHidden(); }

void EstimationsWindow::PlaceDrawnChart() {
  voltagePanel_->setVisible(charts_.voltageShown);
  conductancePanel_->setVisible(!charts_.voltageShown);
}

void EstimationsWindow::showEvent(QShowEvent* event) {
  PlaceDrawnChart();
  QWidget::showEvent(event);
}

bool EstimationsWindow::eventFilter(QObject* watched, QEvent* event) {
  // Not inside the paint itself: hiding the widget being painted is not allowed.
  if (event->type() == QEvent::Paint && !swapQueued_ && voltageChartShown() != charts_.voltageShown) {
    swapQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          swapQueued_ = false;
          PlaceDrawnChart();
        },
        Qt::QueuedConnection);
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace velmora::app
