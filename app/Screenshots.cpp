#include "app/Screenshots.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QListWidget>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <algorithm>
#include <cstdio>

#include "app/ChartView.h"
#include "app/CurrentWindow.h"
#include "app/EstimationsWindow.h"
#include "app/FileListWindow.h"
#include "app/ApproximatePage.h"
#include "app/FiringClampController.h"
#include "app/FiringClampPage.h"
#include "app/MainWindow.h"
#include "recording/Recording.h"

namespace velmora::app {

namespace {

bool Save(QWidget* widget, const QDir& dir, const QString& name) {
  QApplication::processEvents();
  const QString path = dir.filePath(name + ".png");
  const bool ok = widget->grab().save(path);
  std::fprintf(ok ? stdout : stderr, "%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
  return ok;
}

QString FileName(QString caption) {
  caption.replace(QRegularExpression("[^A-Za-z0-9_]+"), "_");
  return caption;
}

// Selects every recording of the list and loads them, as a click in the list does.
void LoadAll(MainWindow& window) {
  QListWidget* list = window.parts().fileListWindow->list();
  {
    const QSignalBlocker block(list);
    list->clearSelection();
    for (int i = 0; i < std::min(list->count(), kMaxSweeps); ++i) list->item(i)->setSelected(true);
  }
  window.LoadSelectedRecordings();
}

void ClickButton(QWidget* parent, const QString& caption) {
  for (auto* button : parent->findChildren<QPushButton*>())
    if (button->text() == caption) return button->click();
  std::fprintf(stderr, "no button \"%s\"\n", qPrintable(caption));
}

// Zooms the voltage chart into its first spike, as the wheel does with Ctrl
// held, and rests the mouse on the spike's peak so that the read-out shows.
void ZoomIntoFirstSpike(ChartView& view) {
  const Series* spikes = FindSeries(view.chart(), "Spikes");
  if (!spikes || spikes->points.empty()) return;
  const ChartPoint peak = spikes->points.front();
  QWidget* canvas = view.Canvas();
  for (int step = 0; step < 16; ++step) {
    const QPoint at = view.PixelOf(peak.x, peak.y);
    QWheelEvent wheel(at, canvas->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::ControlModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas, &wheel);
  }
  QApplication::processEvents();
  const QPoint at = view.PixelOf(peak.x, peak.y);
  QMouseEvent move(QEvent::MouseMove, at, canvas->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(canvas, &move);
}

QMenu* MenuOf(MainWindow& window, const QString& title) {
  for (QAction* a : window.menuBar()->actions())
    if (a->text() == title) return a->menu();
  return nullptr;
}

}  // namespace

bool WriteScreenshots(MainWindow& window, const QString& outDir) {
  QDir dir(outDir);
  if (!dir.mkpath(".")) {
    std::fprintf(stderr, "could not create %s\n", qPrintable(outDir));
    return false;
  }
  const MainWindow::Parts& parts = window.parts();
  const QDir data(QString::fromStdString(window.session().dataDir.string()));
  const auto showPage = [&](const QString& tab) {
    for (int i = 0; i < parts.pages->count(); ++i)
      if (parts.pages->tabText(i) == tab) parts.pages->setCurrentIndex(i);
  };
  const auto shootPage = [&](const QString& tab, const QString& name) {
    showPage(tab);
    return Save(&window, dir, "main_" + FileName(name));
  };
  const auto shootWindow = [&](QWidget* w) {
    w->show();
    return Save(w, dir, FileName(w->windowTitle()));
  };

  // The current steps: F-I curves, overlay, statistics and the Lissajous plot.
  LoadAll(window);
  // The example's result files are rewritten, not appended to at every run.
  for (auto* button : window.findChildren<QRadioButton*>())
    if (button->text() == "Rewrite output files") button->click();
  window.FICurvesRun();
  window.SuperimposeVRun();
  window.AnalyzeStatisticsRun();
  window.raise();
  bool ok = true;
  for (const char* tab : {"Plots", "Options", "Lissajous"}) ok &= shootPage(tab, tab);
  parts.pages->setCurrentIndex(0);
  for (int tab = 1; tab < parts.samplePages->count(); ++tab) {
    parts.samplePages->setCurrentIndex(tab);
    ok &= Save(&window, dir, "main_" + FileName(parts.samplePages->tabText(tab)));
  }
  parts.samplePages->setCurrentIndex(0);
  // A spike zoomed into, with the values under the mouse; the "View" menu.
  showPage("Plots");
  ZoomIntoFirstSpike(*parts.voltage);
  ok &= Save(&window, dir, "main_Plots_zoomed_readout");
  parts.voltage->ShowAll();
  if (QMenu* view = MenuOf(window, "View")) {
    view->popup(window.mapToGlobal(QPoint(40, 40)));
    QApplication::processEvents();
    ok &= Save(view, dir, "main_View_menu");
    view->hide();
  }
  for (QWidget* w : parts.secondaryWindows)
    if (w != parts.estimationsWindow && w != parts.currentWindow) ok &= shootWindow(w);

  // The example's other directories, when they are there: stimulation
  // artefacts in the waves, and a firing-clamp calibration grid whose
  // calibration then serves the estimation recording.
  if (data.exists("../waves") && window.SetDataDirectory(data.filePath("../waves"))) {
    LoadAll(window);
    ClickButton(parts.currentWindow, "Find stimulation artifacts");
    ok &= shootWindow(parts.currentWindow);
  }
  if (data.exists("../fc_calibration") && data.exists("../fc_estimation") &&
      window.SetDataDirectory(data.filePath("../fc_calibration"))) {
    showPage("Firing-Clamp");  // the driver analyses pulses only with this page shown
    window.firingClamp().EraseCalibration();
    parts.firingClampPage->CalibrateMode();
    LoadAll(window);
    const QString calibration = "I_G_VT_dV_subV_PulseV_PulseDur.dat";
    QFile::remove(data.filePath("../fc_estimation/" + calibration));
    QFile::copy(data.filePath("../fc_calibration/" + calibration), data.filePath("../fc_estimation/" + calibration));
    ok &= shootPage("Firing-Clamp", "Firing-Clamp_calibration");
    if (window.SetDataDirectory(data.filePath("../fc_estimation"))) {
      parts.firingClampPage->ApproximateMode();
      LoadAll(window);
      ok &= shootPage("Firing-Clamp", "Firing-Clamp");
      ok &= shootWindow(parts.estimationsWindow);
      // The lattices are maps of fitted surfaces: the cylindrical one here.
      parts.approximatePage->kind()->setCurrentIndex(static_cast<int>(ApproxKind::Cylindrical));
      window.firingClamp().Approximate();
      window.firingClamp().DrawApproximatedVersusTrue();
      ok &= shootPage("Approximate_FC", "Approximate_FC");
      window.firingClamp().DrawLattices(false);
      ok &= shootPage("Approximate_FC", "Approximate_FC_lattices");
    }
  }
  return ok;
}

}  // namespace velmora::app
