#include "app/LatticeView.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ChartView.h"

namespace velmora::app {

LatticeView::LatticeView(LatticeFrame& frame, QComboBox* selector, QWidget* parent)
    : QWidget(parent),
      frame_(frame),
      map_(new ChartView(frame.map, this)),
      colorBar_(new ChartView(frame.colorBar, this)),
      low_(new QLabel(this)),
      high_(new QLabel(this)),
      selector_(selector) {
  frame.map.bottom.title = "I, pA";
  frame.map.left.title = "G, nS";
  selector_->setParent(this);

  auto* copy = new QPushButton("CopyToBMP", this);
  connect(copy, &QPushButton::clicked, this, [this] { map_->CopyToClipboard(); });
  // The bar's bubbles are no series a double click could hide: it copies the bar.
  colorBar_->onBackgroundDoubleClicked = [this] { colorBar_->CopyToClipboard(); };
  colorBar_->SetZoomable(false);
  colorBar_->setMinimumSize(150, 40);
  colorBar_->setMaximumHeight(60);
  for (QLabel* label : {low_, high_}) label->setFont(QFont("Monospace"));

  auto* top = new QHBoxLayout;
  top->addWidget(selector_);
  top->addWidget(copy);
  top->addWidget(SaveButton(map_, this));
  top->addStretch();
  auto* bar = new QHBoxLayout;
  bar->addWidget(low_);
  bar->addWidget(colorBar_, 1);
  bar->addWidget(high_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(top);
  layout->addWidget(map_, 1);
  layout->addLayout(bar);
  setVisible(false);
}

void LatticeView::Refresh() {
  low_->setText(QString::fromStdString(frame_.label1));
  high_->setText(QString::fromStdString(frame_.label2));
  map_->Refresh();
  colorBar_->Refresh();
}

}  // namespace velmora::app
