// Results, markers and files of older data never pass for the current ones:
// the workflows in which the program showed or filed what the user had left
// behind, clicked through on the example data.

#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <fstream>
#include <limits>
#include <string>

#include "FiringClampFixture.h"
#include "app/CurrentWindow.h"
#include "app/FiringClampPage.h"
#include "app/HeapTuning.h"
#include "actions/FiringClampRun.h"
#include "modelcell/AbfWriter.h"

using namespace velmora;
using namespace velmora::testing;
namespace fs = std::filesystem;

namespace {

// Selects the list's entries first..last (0-based), as a click and a
// shift-click do, and loads them.
void SelectRangeAndLoad(app::MainWindow& window, int first, int last) {
  QListWidget* list = window.parts().fileListWindow->list();
  {
    const QSignalBlocker block(list);
    list->clearSelection();
    for (int i = first; i <= last && i < list->count(); ++i) list->item(i)->setSelected(true);
  }
  window.LoadSelectedRecordings();
}

double LargestX(const Chart& chart) {
  double x = -std::numeric_limits<double>::infinity();
  for (const Series& s : chart.series)
    for (const ChartPoint& p : s.points) x = std::max(x, p.x);
  return x;
}

// The header's text in full: a long file name is elided on the button and
// whole in its tooltip.
QString HeaderText(const app::MainWindow& window, const QString& start) {
  for (const QPushButton* b : window.findChildren<QPushButton*>())
    for (const QString& full : {b->toolTip(), b->text()})
      if (full.startsWith(start)) return full;
  return {};
}

// A started program with the example data set beside it.
struct ExampleApp : StartedApp {
  fs::path example = home / "example";
  ExampleApp() {
    NullSink sink;
    if (!WriteDemoDataSet({}, example, sink)) qFatal("the example data set could not be written");
  }
  bool Open(const char* dir) { return window->SetDataDirectory(QString::fromStdString((example / dir).string())); }
  QString warnings() const { return parts().warningsWindow->Text(); }
};

}  // namespace

class StaleDataTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { app::KeepLargeBuffersInHeap(); }

  // grid05, loaded in another directory, was analysed and filed as the
  // first record of steps/out_Rate.dat; an empty directory got eleven files
  // of the recording loaded before.
  void fiCurvesWriteNothingOfAnotherDirectory() {
    ExampleApp app;
    QVERIFY(app.Open("steps"));
    QVERIFY(app.Open("grid"));
    SelectRangeAndLoad(*app.window, 4, 4);
    QCOMPARE(app.session->rec.nFiles, 1);
    QVERIFY(app.Open("steps"));
    app.window->FICurvesRun();
    QVERIFY(!fs::exists(app.example / "steps" / "out_Rate.dat"));
    QVERIFY(app.warnings().contains("nothing is loaded from"));

    const fs::path empty = app.home / "empty";
    fs::create_directory(empty);
    QVERIFY(app.window->SetDataDirectory(QString::fromStdString(empty.string())));
    app.window->FICurvesRun();
    QVERIFY(fs::is_empty(empty));
  }

  // Recording 01, then 01 to 09 with a shift-click: 01's pulses went into
  // the calibration twice (350 lines for 9 recordings of 35 pulses).
  void calibrationTakesEachRecordingOnce() {
    ExampleApp app;
    QVERIFY(app.Open("fc_calibration"));
    app.window->parts().firingClampPage->calibrate()->click();
    SelectRangeAndLoad(*app.window, 0, 0);
    SelectRangeAndLoad(*app.window, 0, 8);
    QCOMPARE(LinesOf(app.example / "fc_calibration" / kCalibrationFileName), 9 * 15);
    QVERIFY(app.warnings().contains("not appended again"));
  }

  // steps08's spike markers stayed over the firing-clamp trace loaded next.
  void firingClampSweepShowsNoSpikesOfTheSweepBefore() {
    ExampleApp app;
    QVERIFY(app.Open("steps"));
    SelectRangeAndLoad(*app.window, 7, 7);
    QVERIFY(PointsOf(app.session->charts.voltage, "Spikes") > 20);
    QVERIFY(app.Open("fc_estimation"));
    SelectRangeAndLoad(*app.window, 0, 0);
    QCOMPARE(PointsOf(app.session->charts.voltage, "Spikes"), 0);
    QCOMPARE(app.session->spikes.nSpikes, 0);
  }

  // The statistics marker stayed at 5000 ms and held the time axes of the
  // 2 s waves at 0-5000 ms.
  void statisticsMarkerGoesWithItsSweep() {
    ExampleApp app;
    QVERIFY(app.Open("fc_estimation"));
    SelectRangeAndLoad(*app.window, 0, 0);
    app.window->AnalyzeStatisticsRun();
    QVERIFY(PointsOf(app.session->charts.voltage, "Pointer") > 0);
    QVERIFY(app.Open("waves"));
    SelectRangeAndLoad(*app.window, 0, 0);
    QVERIFY(PointsOf(app.session->charts.voltage, "Pointer") <= 0);
    QVERIFY(LargestX(app.session->charts.voltage) <= 2000.5);
    QVERIFY(LargestX(app.session->charts.current) <= 2000.5);
  }

  // "Form6: current" showed the 6 s firing-clamp current under the 2 s
  // artefact detection of the waves.
  void currentWindowShowsOnlyTheSweepShown() {
    ExampleApp app;
    QVERIFY(app.Open("fc_estimation"));
    app.window->parts().currentWindow->show();
    SelectRangeAndLoad(*app.window, 0, 0);
    QVERIFY(LargestX(app.session->charts.stimulus) > 5000);
    QVERIFY(app.Open("waves"));
    SelectRangeAndLoad(*app.window, 0, 0);
    for (QPushButton* b : app.window->parts().currentWindow->findChildren<QPushButton*>())
      if (b->text() == "Find stimulation artifacts") b->click();
    QVERIFY(PointsOf(app.session->charts.stimulus, "Stimuli") > 0);
    QVERIFY(LargestX(app.session->charts.stimulus) <= 2000.5);
  }

  // With all eight steps selected the header said file 8 while the charts
  // and "Smpl" showed sweep 1; after a change of directory the old
  // recording and its name stayed on screen.
  void headerNamesTheSweepShownAndGoesWithTheDirectory() {
    ExampleApp app;
    QVERIFY(app.Open("steps"));
    SelectRangeAndLoad(*app.window, 0, 7);
    QCOMPARE(app.window->settings().Smpl, 1.0);
    QVERIFY(HeaderText(*app.window, "File  name:").endsWith("steps01_trace1_Err.cc"));
    QCOMPARE(HeaderText(*app.window, "File  number"), QString("File  number = 1"));

    QVERIFY(app.Open("grid"));
    QCOMPARE(HeaderText(*app.window, "File  name:"), QString("File  name: "));
    QCOMPARE(PointsOf(app.session->charts.voltage, "V, exp."), 0);
    QCOMPARE(app.session->rec.nFiles, 0);
  }

  // An ABF sweep's name holds no trace number: the header said no number.
  void headerNumbersAnAbfSweep() {
    StartedApp app;
    const fs::path dir = app.home / "abf";
    fs::create_directories(dir);
    NullSink sink;
    SynthSettings synth;
    synth.duration = 200;
    const auto written = WriteSynthRecording(synth, app.home / "synth", sink, true);
    QVERIFY(written);
    QVERIFY(WriteStepsAbf(dir / "steps.abf", synth, *written, sink));
    QVERIFY(app.window->SetDataDirectory(QString::fromStdString(dir.string())));
    SelectRangeAndLoad(*app.window, 1, 1);
    QVERIFY(HeaderText(*app.window, "File  name:").endsWith("steps.abf #2"));
    QCOMPARE(HeaderText(*app.window, "File  number"), QString("File  number = 2"));
  }
};

QTEST_MAIN(StaleDataTest)
#include "StaleDataTest.moc"
