#include "app/LissajousPage.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ChartView.h"

namespace velmora::app {

namespace {

// "CopyToBMP" and "Save..." of a chart, side by side.
QHBoxLayout* CopyButtons(ChartView* view, QWidget* parent) {
  auto* copy = new QPushButton("CopyToBMP", parent);
  QObject::connect(copy, &QPushButton::clicked, view, &ChartView::CopyToClipboard);
  auto* row = new QHBoxLayout;
  row->addWidget(copy);
  row->addWidget(SaveButton(view, parent));
  row->addStretch();
  return row;
}

}  // namespace

LissajousPage::LissajousPage(QWidget* parent) : QWidget(parent) {
  setObjectName("LissajousPage");
  Controls& c = controls_;
  c.current = new ChartView(charts_.current, this);
  c.phase = new ChartView(charts_.phase, this);
  c.dIdVView = new ChartView(charts_.dIdV, this);
  c.start = fields_.Number({"Start, ms", 0, 1}, settings_.tStart);
  c.end = fields_.Number({"End, ms", 0, 1}, settings_.tEnd);
  c.tau_filt = fields_.Number({"tau_filt, ms", 2, 0.1}, settings_.tau_filt);
  c.end->onChanged = c.tau_filt->onChanged = [this] { OnEndOrFilterChanged(); };
  c.lissajous = new QPushButton(" Lissajous", this);
  c.dIdV = new QPushButton("Draw dI/dV", this);
  c.adjust = new QPushButton("Adjust scales to current plot", this);

  auto* window = new QGroupBox("Window of analysis", this);
  auto* windowLayout = new QVBoxLayout(window);
  windowLayout->addWidget(c.start);
  windowLayout->addWidget(c.end);
  auto* filter = new QGroupBox("Filter", this);
  (new QVBoxLayout(filter))->addWidget(c.tau_filt);
  auto* settingsColumn = new QVBoxLayout;
  for (QWidget* w : std::initializer_list<QWidget*>{window, filter, c.lissajous, c.dIdV}) settingsColumn->addWidget(w);
  settingsColumn->addStretch();

  auto* currentColumn = new QVBoxLayout;
  currentColumn->addLayout(CopyButtons(c.current, this));
  currentColumn->addWidget(c.current, 1);
  auto* plots = new QHBoxLayout;
  plots->addLayout(currentColumn, 1);
  plots->addWidget(c.phase, 1);
  plots->addLayout(settingsColumn);

  c.dIdVPanel = new QWidget(this);
  auto* autoScale = new QPushButton("Auto", c.dIdVPanel);
  connect(autoScale, &QPushButton::clicked, c.dIdVView, &ChartView::ShowAll);
  auto* alignBox = fields_.Check("Align to stimuli", align_);
  auto* dIdVButtons = new QHBoxLayout;
  for (QWidget* w : std::initializer_list<QWidget*>{c.adjust, autoScale}) dIdVButtons->addWidget(w);
  QHBoxLayout* copyRow = CopyButtons(c.dIdVView, c.dIdVPanel);
  copyRow->insertWidget(2, alignBox);
  dIdVButtons->addLayout(copyRow, 1);
  auto* dIdVLayout = new QVBoxLayout(c.dIdVPanel);
  dIdVLayout->setContentsMargins(0, 0, 0, 0);
  dIdVLayout->addLayout(dIdVButtons);
  dIdVLayout->addWidget(c.dIdVView, 1);
  c.dIdVPanel->setVisible(charts_.dIdVShown);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(plots, 1);
  layout->addWidget(c.dIdVPanel, 1);
}

void LissajousPage::SetWindow(double tStart, double tEnd) {
  settings_.tStart = tStart;
  settings_.tEnd = tEnd;
  controls_.start->Load();
  controls_.end->Load();
}

void LissajousPage::OnEndOrFilterChanged() {
  settings_.tEnd = LissajousEnd(settings_.tStart, settings_.tEnd);
  controls_.end->Load();
  if (onWindowChanged) onWindowChanged();
}

void LissajousPage::ShowDrawnCharts() { controls_.dIdVPanel->setVisible(charts_.dIdVShown); }

}  // namespace velmora::app
