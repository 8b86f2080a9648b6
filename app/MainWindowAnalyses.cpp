#include <QLabel>

#include "app/MainWindow.h"
#include "app/PendingWindow.h"

namespace velmora::app {

struct MainWindow::AnalysesUi : QObject {
  using QObject::QObject;
};

QWidget* MainWindow::BuildLissajousPage() {
  analysesUi_ = new AnalysesUi(this);
  auto* page = new QLabel("This analysis is not available in this version of the program.");
  page->setAlignment(Qt::AlignCenter);
  return page;
}

void MainWindow::CreateAnalysisWindows() {
  form13_ = new PendingWindow("Form13", "Form13: Statistics", this);
  form8_ = new PendingWindow("Form8", "Form8: Varnel's method of splitting conductances", this);
}

void MainWindow::AnalyzeStatisticsRun() { form13_->show(); }

}  // namespace velmora::app
