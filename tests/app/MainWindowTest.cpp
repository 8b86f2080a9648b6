// The main window as it stands after start-up, and the settings commands
// that need no recording.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "AppFixture.h"
#include "app/Fields.h"
#include "app/FiringClampPage.h"
#include "app/Windows.h"

using namespace velmora;
using namespace velmora::testing;
namespace fs = std::filesystem;

namespace {

app::NumberField* FieldCaptioned(QWidget* root, const QString& caption) {
  for (auto* field : root->findChildren<app::NumberField*>())
    if (field->label()->text() == caption) return field;
  return nullptr;
}

QAction* MenuItem(QMainWindow& window, const QString& menu, const QString& item) {
  for (QAction* a : window.menuBar()->actions())
    if (a->text() == menu)
      for (QAction* entry : a->menu()->actions())
        if (entry->text() == item) return entry;
  return nullptr;
}

QStringList MenuItems(QMainWindow& window, const QString& menu) {
  for (QAction* a : window.menuBar()->actions())
    if (a->text() == menu) {
      QStringList items;
      for (QAction* item : a->menu()->actions())
        if (!item->isSeparator()) items << item->text();
      return items;
    }
  return {};
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  // A window missing at start-up, or under another caption, is a window
  // the menus and analyses cannot bring up.
  void startUpCreatesEveryWindowWithItsCaption() {
    StartedApp app;
    QCOMPARE(app.window->windowTitle(), QString("Velmora v.21.11"));
    QStringList captions;
    for (QWidget* w : app.parts().secondaryWindows) captions << w->windowTitle();
    QCOMPARE(captions, QStringList({"Form13: Statistics", "Form2: F_I_curves", "Form3", "Form4: List of files",
                                    "Form5: Estimations_FC", "Form6: current", "Form7: Warnings",
                                    "Form8: Varnel's method of splitting conductances", "Form9: parameters read",
                                    "Form10: LFP"}));
    QVERIFY(app.parts().fileListWindow->isVisible());
    QVERIFY(app.parts().parametersWindow->isVisible());
    QVERIFY(app.parts().showParameters->isChecked());
    QVERIFY(!app.parts().fiCurvesWindow->isVisible());
  }

  // Format item 2 reads recordings through the list: the button that opens
  // the column formats' files must be off, and the list shown.
  void startUpFormatItem2DisablesReadAndDrawData() {
    StartedApp app;
    QCOMPARE(app.parts().formatBox->currentIndex(), 2);
    QVERIFY(!app.parts().readAndDraw->isEnabled());
    QVERIFY(!app.parts().readAndDrawAction->isEnabled());
    QVERIFY(app.parts().fileListWindow->isVisible());
    app.parts().formatBox->setCurrentIndex(0);
    QVERIFY(app.parts().readAndDraw->isEnabled());
    QVERIFY(app.parts().readAndDrawAction->isEnabled());
  }

  void menusHoldTheirItemsAndShortcuts() {
    StartedApp app;
    QCOMPARE(MenuItems(*app.window, "Run"),
             QStringList({"ReadAndDrawData", "TreatAllDirs", "Analize Statistics", "F_I_curves", "SuperimposeV",
                          "-----------------------", "Varnel's method of splitting conductances"}));
    QCOMPARE(MenuItems(*app.window, "View").mid(0, 5),
             QStringList({"Sketch plotting", "Show detailed options", "Activate all curves",
                          "Activate Form9 with parameters", "Activate Form4 with List of files"}));
    QCOMPARE(app.parts().sketchPlotting->shortcut(), QKeySequence(Qt::Key_F3));
    QCOMPARE(app.parts().showParameters->shortcut(), QKeySequence(Qt::Key_F9));
    QVERIFY(app.parts().sketchPlotting->isChecked());
  }

  // Each field shows its setting with the decimals and step the user
  // expects; the spike fields show the start-up set (item 1).
  void fieldsShowCaptionDefaultDecimalsIncrement() {
    StartedApp app;
    struct Case {
      const char* caption;
      double value;
      int decimals;
      double step;
    };
    const Case cases[] = {
        {"n_Draw", 1, 0, 1},
        {"n_Pointer", 40, 0, 20},
        {"Skip", 30, 0, 1},
        {"Bridge", 0, 2, 1},
        {"to be > ", 0, 0, 1},
        {"Points' size increase", 0, 0, 1},
        {"V_min=                                     mV", -15, 0, 1},
        {"dVdt_min=                               mV/ms", 5, 0, 1},
        {"d2Vdt2_min=                          mV/ms^2", 2, 0, 1},
        {"TimeWindow                          ms", 50, 2, 10},
        {"dVdt_min=                                     mV/ms", -10, 0, 1},
        {"TimeSincePeak                          ms", 5, 2, 10},
        {"Filter scale                          ms", 0.1, 2, 0.05},
        {"Iterations", 10, 0, 1},
        {"Scale of curvature, mV/ms", 3, 2, 0.1},
        {"Limit interval for analysis by                            ms", 8888888, 2, 500},
        {"Calculate  nu_Last  if number of spikes >", 2, 0, 1},
        {"Analyze since t0=                           ms", 0, 0, 10000},
        {"Smpl", 1, 0, 1},
        {"g_Clamped", 0, 2, 1},
        {"I_Clamped", 0, 2, 1},
        {"G1,nS", 0, 0, 1},
        {"C1/C", 0, 2, 0.1},
        {"tau_Ifilt, mus", 0, 0, 30},
        {"Meander pos. pulse understimation, pA ", 0, 0, 10},
        {"G_scale, nS", 0, 1, 0.2},
    };
    for (const Case& c : cases) {
      app::NumberField* field = FieldCaptioned(app.window.get(), c.caption);
      QVERIFY2(field, c.caption);
      QVERIFY2(qFuzzyCompare(1 + field->value(), 1 + c.value), c.caption);
      QVERIFY2(field->spin()->decimals() == c.decimals, c.caption);
      QVERIFY2(qFuzzyCompare(field->spin()->singleStep(), c.step), c.caption);
    }
    QCOMPARE(app.window->settings().spikes.SpikeCriteria.TimeWindow, 0.05);  // s: the field shows ms
    QCOMPARE(app.parts().compensationMode->currentIndex(), 4);
    QVERIFY(app.parts().parameterSet[1]->isChecked());
  }

  void sketchPlottingTogglesSkip() {
    StartedApp app;
    Settings& s = app.window->settings();
    app.parts().Skip->setValue(1);
    app.window->ToggleSketchPlotting();
    QVERIFY(app.parts().sketchPlotting->isChecked());
    QCOMPARE(s.Skip, 33.0);
    QCOMPARE(app.parts().Skip->value(), 33.0);
    app.window->ToggleSketchPlotting();
    QVERIFY(!app.parts().sketchPlotting->isChecked());
    QCOMPARE(s.Skip, 1.0);
    // A double click on "Skip" switches between 1 and 30.
    app.parts().Skip->onDoubleClicked();
    QCOMPARE(s.Skip, 30.0);
    app.parts().Skip->onDoubleClicked();
    QCOMPARE(s.Skip, 1.0);
  }

  // "Default" replaces only the fields it names: the filter and F-I fields
  // keep what the start-up set gave them.
  void parameterSetDefaultKeepsFieldsItDoesNotName() {
    StartedApp app;
    Settings& s = app.window->settings();
    app.parts().parameterSet[0]->click();
    QCOMPARE(s.spikes.SpikeCriteria.V_min, -35.0);
    QCOMPARE(s.spikes.ThresholdScale, 1.0);
    QCOMPARE(FieldCaptioned(app.window.get(), "V_min=                                     mV")->value(), -35.0);
    QCOMPARE(FieldCaptioned(app.window.get(), "Scale of curvature, mV/ms")->value(), 1.0);
    QCOMPARE(s.filter.tauF, 0.1);
    QCOMPARE(s.filter.iterations, 10);
    QCOMPARE(FieldCaptioned(app.window.get(), "Iterations")->value(), 10.0);
    QVERIFY(s.fi.nuLastLastTwoThirds);
    QCOMPARE(s.fi.CutFactor, 4.0);
    app.parts().parameterSet[1]->click();
    QCOMPARE(s.spikes.SpikeCriteria.V_min, -15.0);
    QCOMPARE(s.spikes.ThresholdScale, 3.0);
  }

  // Unticking "Defaults" only unlocks the fields; the values it set stay.
  void compensationDefaultsCheckedThenUnchecked() {
    StartedApp app;
    const CompensationSettings& c = app.window->settings().compensation;
    app.parts().compensationDefaults->click();
    QCOMPARE(c.G1, 15.0);
    QCOMPARE(c.C1C, 0.8);
    QCOMPARE(c.tauIfilt, 60.0);
    QCOMPARE(app.parts().compensationMode->currentIndex(), 4);
    QVERIFY(!app.parts().tauIfilt->isEnabled());
    for (auto* d : app.parts().delays) QVERIFY(!d->isEnabled());
    app.parts().compensationDefaults->click();
    QCOMPARE(c.G1, 15.0);
    QCOMPARE(c.C1C, 0.8);
    QCOMPARE(c.tauIfilt, 60.0);
    QVERIFY(app.parts().tauIfilt->isEnabled());
    for (auto* d : app.parts().delays) QVERIFY(d->isEnabled());
  }

  // Every change adds the new value again, so the sizes accumulate.
  void pointsSizeIncreaseAccumulates() {
    StartedApp app;
    Series& points = EnsureSeries(app.session->charts.voltage, "Spikes", SeriesKind::Point, kRed);
    const int before = points.markerWidth;
    app.parts().pointsSizeIncrease->setValue(1);
    QCOMPARE(points.markerWidth, before + 1);
    app.parts().pointsSizeIncrease->setValue(2);
    QCOMPARE(points.markerWidth, before + 3);
    QCOMPARE(points.markerHeight, before + 3);
  }

  void showDetailedOptionsShowsTheButtonsAndFormats() {
    StartedApp app;
    for (QPushButton* b : app.parts().detailedButtons) QVERIFY2(!b->isVisible(), qPrintable(b->text()));
    QVERIFY(!app.parts().formatBox->isVisible());
    app.parts().detailedOptions->trigger();
    for (QPushButton* b : app.parts().detailedButtons) QVERIFY2(b->isVisible(), qPrintable(b->text()));
    QVERIFY(app.parts().formatBox->isVisible());
    app.parts().detailedOptions->trigger();
    QVERIFY(!app.parts().formatBox->isVisible());
  }

  // The checked menu item and the window's visibility must not drift apart.
  void form9MenuItemFollowsTheWindow() {
    StartedApp app;
    app.parts().showParameters->trigger();
    QVERIFY(!app.parts().parametersWindow->isVisible());
    app.parts().parametersWindow->show();
    QVERIFY(app.parts().showParameters->isChecked());
  }

  // The directory used last is offered after the built-in ones and chosen,
  // so that the program opens where the user stopped.
  void previousDirIsAppendedAndChosen() {
    std::filesystem::path data;
    StartedApp app([&](const TempDir& home) {
      data = home / "cell1";
      WriteSteps(data, 2);
      home.Write("PreviousDir.txt", data.string() + "\r\n");
    });
    QComboBox* box = app.parts().directoryBox;
    QCOMPARE(box->currentIndex(), box->count() - 1);
    QCOMPARE(box->currentText(), QString::fromStdString(data.string()));
    QCOMPARE(box->itemText(box->count() - 2), QString("New directory"));
    QCOMPARE(app.parts().fileListWindow->list()->count(), 2);
    QCOMPARE(app.session->dataDir, data);
  }

  // A directory that cannot be made current must say so, not fail silently.
  void missingDataDirectoryIsReported() {
    StartedApp app;
    QVERIFY(!app.window->SetDataDirectory(QString::fromStdString((app.home / "no such dir").string())));
    QVERIFY(app.parts().warningsWindow->isVisible());
    QVERIFY(app.parts().warningsWindow->Text().contains("Set the directory of data-files in the box below."));
  }
  // On a 1366 x 768 screen a window wider than the screen hides its right
  // part, the Sample and Compensation panel, and the user cannot reach it.
  void mainWindowStaysWithin1366PxWithALongPathAndDetailedOptions() {
    StartedApp app;
    fs::path data = app.home.path();
    while (data.string().size() < 200) data /= "a_rather_long_directory_name";
    WriteSteps(data, 1);
    QVERIFY(app.window->SetDataDirectory(QString::fromStdString(data.string())));
    SelectAndLoad(*app.window, 1);
    QApplication::processEvents();
    const auto fits = [&](const char* state) {
      QVERIFY2(app.window->width() <= 1366, state);
      QVERIFY2(app.window->minimumSizeHint().width() <= 1366, state);
      QVERIFY2(app.window->minimumSizeHint().height() <= 700, state);
    };
    fits("long path");
    bool named = false;
    for (auto* label : app.window->findChildren<app::ElidedButton*>())
      named |= label->toolTip().contains(QString::fromStdString(app.session->rec.currentFile));
    QVERIFY(named);  // the whole path is still there to read

    const QSize before = app.window->size();
    app.parts().detailedOptions->trigger();
    QApplication::processEvents();
    fits("detailed options");
    app.parts().detailedOptions->trigger();
    QApplication::processEvents();
    QCOMPARE(app.window->size(), before);  // shrinks back
  }

  // A stray Enter must not delete recordings or a calibration.
  void destructiveQuestionsDefaultToNo() {
    const auto question = app::FileListWindow::DeleteQuestion(nullptr, 2);
    QCOMPARE(question->defaultButton(), question->button(QMessageBox::No));
    QCOMPARE(question->escapeButton(), static_cast<QAbstractButton*>(question->button(QMessageBox::No)));

    StartedApp app;
    app.home.Write("I_G_VT_dV_subV_PulseV_PulseDur.dat", "1 2 3\r\n");
    QVERIFY(app.window->SetDataDirectory(QString::fromStdString(app.home.path().string())));
    QString asked;
    app.window->askToConfirm = [&](const QString&, const QString& text) {
      asked = text;
      return false;
    };
    for (auto* button : app.window->parts().firingClampPage->findChildren<QPushButton*>())
      if (button->text() == "Erase calibration") button->click();
    QVERIFY2(asked.contains("I_G_VT_dV_subV_PulseV_PulseDur.dat"), qPrintable(asked));
    QVERIFY(fs::exists(app.home / "I_G_VT_dV_subV_PulseV_PulseDur.dat"));
  }

  // A window that cannot be brought back from the menu is lost once closed.
  void viewMenuReachesEveryWindow() {
    StartedApp app;
    for (QWidget* w : app.parts().secondaryWindows) {
      if (w == app.parts().fileListWindow || w == app.parts().parametersWindow || w == app.parts().lfpWindow) continue;
      QAction* item = MenuItem(*app.window, "View", w->windowTitle());
      QVERIFY2(item, qPrintable(w->windowTitle()));
      w->hide();
      item->trigger();
      QVERIFY2(w->isVisible(), qPrintable(w->windowTitle()));
    }
    QVERIFY(MenuItem(*app.window, "View", "Activate Form4 with List of files"));
    QVERIFY(MenuItem(*app.window, "View", "Activate Form9 with parameters"));
    QVERIFY(MenuItem(*app.window, "View", "Form10: LFP"));
  }

  // Windows that come up later must not open behind the main window or off
  // the screen, nor need more room than a 1366 x 768 screen has.
  void secondaryWindowsOpenInsideTheScreen() {
    StartedApp app;
    const QRect area = app::AvailableArea(app.window.get());
    for (QWidget* w : app.parts().secondaryWindows) {
      app::ShowInFront(w);
      const QSize least = w->minimumSize().expandedTo(w->minimumSizeHint());
      QVERIFY2(least.width() <= 1366 && least.height() <= 700, qPrintable(w->windowTitle() + QString(" %1x%2").arg(least.width()).arg(least.height())));
      // The offscreen screen is smaller than the windows' least sizes may be.
      const QRect expected(area.topLeft(), area.size().expandedTo(least + w->frameGeometry().size() - w->size()));
      QVERIFY2(expected.contains(w->frameGeometry()),
               qPrintable(w->windowTitle()));
    }
  }

  // Gathered in the corner, the windows keep the size their contents ask
  // for: capped at two thirds of the screen, the charts were squashed.
  void moveAllFramesToCornerKeepsTheWindowsReadable() {
    StartedApp app;
    app.window->MoveAllFramesToCorner();
    const QRect area = app::AvailableArea(app.window.get());
    for (QWidget* w : QList<QWidget*>{app.window.get(), app.parts().fiCurvesWindow}) {
      QCOMPARE(w->frameGeometry().topLeft(), QPoint(0, 0));
      QVERIFY2(w->height() >= std::min(w->sizeHint().height(), area.height() - 40), qPrintable(w->windowTitle()));
    }
    QVERIFY(app.parts().voltage->height() >= 200);
  }

  // An empty list with no word why looks like a fault of the program.
  void directoryWithoutListOfFilesSaysSo() {
    StartedApp app;
    fs::create_directories(app.home / "empty");
    QVERIFY(app.window->SetDataDirectory(QString::fromStdString((app.home / "empty").string())));
    QVERIFY2(app.parts().statusText->text().contains("no \"ListOfFiles\""), qPrintable(app.parts().statusText->text()));
    app.home.Write("empty/ListOfFiles", "");
    QVERIFY(app.window->SetDataDirectory(QString::fromStdString((app.home / "empty").string())));
    QVERIFY2(app.parts().statusText->text().contains("names no recordings"), qPrintable(app.parts().statusText->text()));
  }

  // An action that ended in an error must not report "done".
  void failedActionIsNotReportedDone() {
    StartedApp app;
    app.parts().formatBox->setCurrentIndex(0);
    app.window->askForPath = [&](const QString&, const QString&, const QString&) {
      return QString::fromStdString((app.home / "missing_voltage.txt").string());
    };
    app.window->ReadAndDrawData();
    QVERIFY2(!app.parts().statusText->text().endsWith("done"), qPrintable(app.parts().statusText->text()));
    QVERIFY(app.parts().statusText->text().contains("Form7: Warnings"));
  }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
