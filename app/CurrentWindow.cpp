#include "app/CurrentWindow.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/ChartView.h"

namespace velmora::app {

CurrentWindow::CurrentWindow(Chart& chart, Settings& settings, std::function<const ChartView*()> currentView,
                             std::function<const ChartView*()> fcTimeView, QWidget* parent)
    : QWidget(parent, Qt::Window), chart_(chart), fields_(settings) {
  setWindowTitle("Form6: current");
  setObjectName("Form6");
  chart.bottom.title = "ms";
  chart.left.title = "pA";
  parts_.view = new ChartView(chart, this);
  parts_.ddI_limit = fields_.Number("ddI_limit");
  parts_.frequency = fields_.Number("Stimulation_frequency");

  const auto button = [this](const char* caption, std::function<void()> action) {
    auto* b = new QPushButton(caption, this);
    connect(b, &QPushButton::clicked, this, std::move(action));
    return b;
  };
  parts_.find = button("Find stimulation artifacts", [this] {
    if (onFind) onFind();
  });
  const auto adopt = [this](const std::function<const ChartView*()>& partner) {
    return [this, partner] {
      const ChartView* source = partner ? partner() : nullptr;
      if (!source) return;
      AdoptTimeAxis(chart_, *source);
      Refresh();
    };
  };
  parts_.adjustToCurrent = button("Adjust scales to voltage plot", adopt(std::move(currentView)));
  parts_.adjustToFC = button("Adjust scales to voltage in FC", adopt(std::move(fcTimeView)));
  parts_.autoScale = button("Auto", [this] { parts_.view->ShowAll(); });
  QPushButton* copy = button("CopyToBMP", [this] { parts_.view->CopyToClipboard(); });

  auto* controls = new QHBoxLayout;
  for (QWidget* w : std::initializer_list<QWidget*>{parts_.find, parts_.ddI_limit, parts_.frequency,
                                                    parts_.adjustToCurrent, parts_.adjustToFC, parts_.autoScale, copy,
                                                    SaveButton(parts_.view, this)})
    controls->addWidget(w);
  controls->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(controls);
  layout->addWidget(parts_.view, 1);
  resize(1000, 420);
}

void CurrentWindow::Refresh() { parts_.view->Refresh(); }

void CurrentWindow::ShowTriedLimit(double L) {
  const QSignalBlocker block(parts_.ddI_limit->spin());
  parts_.ddI_limit->spin()->setValue(L);
}

}  // namespace velmora::app
