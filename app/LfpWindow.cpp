#include "app/LfpWindow.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ChartView.h"
#include "app/Fields.h"

namespace velmora::app {

LfpWindow::LfpWindow(Session& session, Settings& settings, const ChartView& voltage, const ChartView& firingClamp,
                     QWidget* parent)
    : QWidget(parent, Qt::Window),
      session_(session),
      fields_(settings),
      view_(new ChartView(session.charts.lfp, this)) {
  setWindowTitle("Form10: LFP");
  setObjectName("Form10");
  Chart& chart = session.charts.lfp;
  chart.bottom.title = "ms";
  chart.bottom.fixedDecimals = 1;  // long recordings: "12,345.5" ms
  chart.left.title = "mV";
  chart.right.title = std::string("I");  // a temporary: GCC 12 misreads the one-letter literal copy (-Wrestrict)
  tau_ = fields_.Number("Filter_time_constant");
  tau_->onChanged = [this] {
    if (onTauChanged) onTauChanged();
  };
  auto* toVoltage = new QPushButton("Adjust scales to voltage plot", this);
  auto* toFC = new QPushButton("Adjust scales to voltage inFC", this);
  auto* autoScale = new QPushButton("Auto", this);
  connect(toVoltage, &QPushButton::clicked, this, [this, &voltage] {
    AdoptTimeAxis(session_.charts.lfp, voltage);
    Refresh();
  });
  connect(toFC, &QPushButton::clicked, this, [this, &firingClamp] {
    AdoptTimeAxis(session_.charts.lfp, firingClamp);
    Refresh();
  });
  connect(autoScale, &QPushButton::clicked, view_, &ChartView::ShowAll);
  auto* controls = new QHBoxLayout;
  controls->addWidget(tau_);
  controls->addWidget(toVoltage);
  controls->addWidget(toFC);
  controls->addWidget(autoScale);
  controls->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(controls);
  layout->addWidget(view_, 1);
  resize(800, 360);
}

void LfpWindow::Refresh() {
  // The LFP is a line with small markers on it.
  for (Series& s : session_.charts.lfp.series) {
    s.kind = SeriesKind::Point;
    s.linePenShown = true;
    s.markerWidth = s.markerHeight = 2;
  }
  view_->Refresh();
}

}  // namespace velmora::app
