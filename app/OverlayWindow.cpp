#include "app/OverlayWindow.h"

#include <QVBoxLayout>

#include "app/ChartView.h"

namespace velmora::app {

OverlayWindow::OverlayWindow(Session& session, QWidget* parent)
    : QWidget(parent, Qt::Window), view_(new ChartView(session.charts.overlay, this)) {
  setWindowTitle("Form3");
  setObjectName("Form3");
  session.charts.overlay.legendShown = false;
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(view_);
  resize(600, 420);
}

void OverlayWindow::Refresh() { view_->Refresh(); }

}  // namespace velmora::app
