#include <QApplication>
#include <QLabel>

#include "app/Conversions.h"
#include "app/FileListWindow.h"
#include "app/MainWindow.h"
#include "app/ParametersWindow.h"
#include "firingclamp/Driver.h"
#include "recording/ParameterFile.h"

namespace velmora::app {

struct MainWindow::FiringClampUi : QObject {
  using QObject::QObject;
};

QWidget* MainWindow::BuildFiringClampPage() {
  fcUi_ = new FiringClampUi(this);
  auto* page = new QLabel("This analysis is not available in this version of the program.");
  page->setAlignment(Qt::AlignCenter);
  return page;
}

QWidget* MainWindow::BuildApproximatePage() {
  auto* page = new QLabel("This analysis is not available in this version of the program.");
  page->setAlignment(Qt::AlignCenter);
  return page;
}

void MainWindow::LoadSelectedRecordings() {
  const std::vector<int> selected = parts_.form4Window->Selected();
  if (selected.empty()) return;
  Run("Loading the selected recordings", 0, [this, &selected] {
    SetBusyColour(true);
    QCoreApplication::processEvents();
    settings_.view.page = static_cast<MainPage>(parts_.pages->currentIndex());
    settings_.view.estimationsVisible = form5_->isVisible();
    settings_.view.currentWindowVisible = form6_->isVisible();
    if (auto run = FiringClampDriver(session_, settings_, selected, warnings()); !run) Warn(FromError(run.error()));
    // The driver turns to the firing-clamp page for a firing-clamp recording and back for another.
    parts_.pages->setCurrentIndex(static_cast<int>(settings_.view.page));
    const Recording& rec = session_.rec;
    if (rec.nFiles > 0 && rec.nFiles < static_cast<int>(rec.FileNames.size()))
      parts_.form9Window->ShowFile(ParameterFileName(rec.FileNames[rec.nFiles]));
    ShowSweepState();
    SetBusyColour(false);
    QApplication::beep();
  });
}

}  // namespace velmora::app
