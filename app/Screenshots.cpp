#include "app/Screenshots.h"

#include <QApplication>
#include <QDir>
#include <QRegularExpression>
#include <QListWidget>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <algorithm>
#include <cstdio>

#include "app/FileListWindow.h"
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

}  // namespace

bool WriteScreenshots(MainWindow& window, const QString& outDir) {
  QDir dir(outDir);
  if (!dir.mkpath(".")) {
    std::fprintf(stderr, "could not create %s\n", qPrintable(outDir));
    return false;
  }
  const MainWindow::Parts& parts = window.parts();
  QListWidget* list = parts.form4Window->list();
  {
    const QSignalBlocker block(list);
    for (int i = 0; i < std::min(list->count(), kMaxSweeps); ++i) list->item(i)->setSelected(true);
  }
  window.LoadSelectedRecordings();
  // The example's result files are rewritten, not appended to at every run.
  for (auto* button : window.findChildren<QRadioButton*>())
    if (button->text() == "Rewrite output files") button->click();
  window.FICurvesRun();
  window.SuperimposeVRun();
  window.raise();

  bool ok = true;
  for (int tab = 0; tab < parts.pages->count(); ++tab) {
    parts.pages->setCurrentIndex(tab);
    ok &= Save(&window, dir, "main_" + FileName(parts.pages->tabText(tab)));
  }
  parts.pages->setCurrentIndex(0);
  for (int tab = 1; tab < parts.samplePages->count(); ++tab) {
    parts.samplePages->setCurrentIndex(tab);
    ok &= Save(&window, dir, "main_" + FileName(parts.samplePages->tabText(tab)));
  }
  parts.samplePages->setCurrentIndex(0);
  for (QWidget* w : parts.secondaryWindows) {
    w->show();
    ok &= Save(w, dir, FileName(w->windowTitle()));
  }
  return ok;
}

}  // namespace velmora::app
