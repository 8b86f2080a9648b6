// The "Firing-Clamp" and "Approximate_FC" tabs on model-cell data: the
// calibration and approximation modes, a calibration run from the list of
// files, erasing the calibration, the approximation with its comparison
// charts, the lattices, and the time of a whole run over a long recording.

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <fstream>
#include <string>

#include "FiringClampFixture.h"
#include "app/ApproximatePage.h"
#include "app/EstimationsWindow.h"
#include "app/FiringClampPage.h"
#include "app/HeapTuning.h"
#include "app/LatticeView.h"
#include "actions/FiringClampRun.h"
#include "recording/TextIO.h"

using namespace velmora;
using namespace velmora::testing;
namespace fs = std::filesystem;

namespace {

constexpr int kGridPulses = 9 * 15;  // nine sweeps of fifteen clean pulses

// A started program that has run a calibration over the model cell's grid,
// begun on the "Plots" page as after start-up.
struct CalibratedApp : StartedApp {
  fs::path data = home / "calibration";
  app::FiringClampPage* fc = window->parts().firingClampPage;
  app::ApproximatePage* approx = window->parts().approximatePage;

  explicit CalibratedApp(bool calibrate = true) {
    WriteCalibrationGrid(data);
    QVERIFY(window->SetDataDirectory(QString::fromStdString(data.string())));
    window->settings().fc.FlawThreshold = 50;  // mV: the model's spikes rise up to 33 mV in one sample
    if (!calibrate) return;
    fc->calibrate()->click();
    SelectAllAndLoad(*window);
  }
};

}  // namespace

class FiringClampTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { app::KeepLargeBuffersInHeap(); }  // as the program starts

  // "Approximate" must give back the "Align to stimuli" that "Calibrate"
  // took, also after "Calibrate" was clicked twice, and must leave the box
  // alone when no calibration came before it.
  void approximateRestoresAlignToStimuliThatCalibrateTook() {
    StartedApp app;
    app::FiringClampPage* page = app.window->parts().firingClampPage;
    const Settings& s = app.window->settings();
    const struct {
      const char* name;
      bool alignBefore;
      int calibrateClicks;
    } cases[] = {{"ticked, one Calibrate", true, 1},
                 {"unticked, one Calibrate", false, 1},
                 {"ticked, two Calibrate", true, 2},
                 {"ticked, no Calibrate", true, 0}};
    for (const auto& c : cases) {
      page->alignToStimuli()->setChecked(c.alignBefore);
      for (int i = 0; i < c.calibrateClicks; ++i) {
        page->calibrate()->click();
        QVERIFY2(page->calibrate()->font().bold() && !page->approximate()->font().bold(), c.name);
        QVERIFY2(page->writeInFile()->isChecked() && s.fc.writeInFile, c.name);
        QVERIFY2(!page->approximateBox()->isChecked() && !s.fc.approximate, c.name);
        QVERIFY2(!page->alignToStimuli()->isChecked() && !s.draw.alignFC, c.name);
      }
      page->approximate()->click();
      QVERIFY2(page->approximate()->font().bold() && !page->calibrate()->font().bold(), c.name);
      QVERIFY2(!page->writeInFile()->isChecked() && !s.fc.writeInFile, c.name);
      QVERIFY2(page->approximateBox()->isChecked() && s.fc.approximate, c.name);
      QVERIFY2(page->alignToStimuli()->isChecked() == c.alignBefore, c.name);
      QVERIFY2(s.draw.alignFC == c.alignBefore, c.name);
    }
  }

  // A click in the list of files on a calibration grid must turn to the
  // "Firing-Clamp" tab, draw every sweep's pulses into the correlation
  // charts, the last sweep into the time chart, count its flaws on the
  // label, and append every pulse to the calibration file.
  void calibrationRunFromTheListFillsTheFiringClampCharts() {
    CalibratedApp app;
    const FiringClampCharts& charts = app.session->fcCharts;
    QCOMPARE(app.parts().pages->currentIndex(), static_cast<int>(MainPage::FiringClamp));
    QCOMPARE(app.session->rec.nFiles, 9);
    const int nLast = app.session->rec.traces.nLast(9);
    QCOMPARE(PointsOf(charts.time, "V"), nLast / 30);  // Skip = 30, from sample 30 on
    QVERIFY(PointsOf(charts.time, "Markers") > 0);
    for (const char* title : {"PulseV", "subV", "VT", "NegPulseDur", "dVdt", "VHalfPulse"})
      QVERIFY2(PointsOf(charts.time, title) == 15, title);
    for (const Chart* chart : {&charts.vsI, &charts.vsG})
      for (const char* title : {"subV", "PulseV-VT"}) QVERIFY2(PointsOf(*chart, title) == kGridPulses, title);
    QCOMPARE(app.fc->flaws()->text(), QString("Number of flaws=1"));
    QCOMPARE(app.fc->status()->text(), QString("Done"));
    QCOMPARE(LinesOf(app.data / kCalibrationFileName), kGridPulses);
    QCOMPARE(app.fc->timeView()->DrawnSeriesCount(), static_cast<int>(charts.time.series.size()));
    QCOMPARE(app.parts().statusPanel->palette().color(QPalette::Window), QColor(101, 179, 6));
    QCOMPARE(app.parts().statusPanel->text(), QString("FC"));
  }

  // A change of a "Precision and tolerance" field runs the driver over the
  // selected files again (here: the calibration, whose pulses are in the
  // file already and are not appended twice); a change of the analytic
  // estimate's fields only takes the settings over.
  void fieldChangesOfTheApproximateTab() {
    CalibratedApp app;
    const fs::path file = app.data / kCalibrationFileName;
    const QList<app::NumberField*>& precision = app.approx->precisionFields();
    precision[0]->setValue(0.02);  // "eps"
    QCOMPARE(app.window->settings().precision.Eps, 0.02);
    QCOMPARE(LinesOf(file), kGridPulses);
    QVERIFY(app.parts().warningsWindow->Text().contains("pulses are in the calibration set"));
    QCOMPARE(app.parts().statusPanel->palette().color(QPalette::Window), QColor(101, 179, 6));

    app.approx->analyticFields()[0]->setValue(-70);  // "V1, mV"
    QCOMPARE(app.session->pulses.V1, -70.0);
    QCOMPARE(LinesOf(file), kGridPulses);
    QVERIFY(app.parts().warningsWindow->Text().contains("pulses are in the calibration set"));
  }

  // "Erase calibration" empties the correlation charts but "dVdt_V1" and
  // removes the file; with no file to remove it says so, warns of nothing
  // and leaves no file behind.
  void eraseCalibrationClearsChartsWithOrWithoutAFile() {
    const struct {
      const char* name;
      bool filePresent;
      const char* status;
    } cases[] = {{"file present", true, "Calibration erased"},
                 {"file missing", false, "There was no calibration to erase"}};
    for (const auto& c : cases) {
      CalibratedApp app(false);
      app.window->settings().whichToPlot.dVdt_V1 = true;
      app.fc->calibrate()->click();
      SelectAllAndLoad(*app.window);
      const fs::path file = app.data / kCalibrationFileName;
      if (!c.filePresent) fs::remove(file);
      const QString warningsBefore = app.parts().warningsWindow->Text();
      int asked = 0;
      app.window->askToConfirm = [&](const QString&, const QString& question) {
        asked += question.contains(QString::fromStdString(file.string()));
        return true;
      };
      app.fc->eraseCalibration()->click();
      QVERIFY2(asked == (c.filePresent ? 1 : 0), c.name);  // nothing to lose, nothing to ask
      QVERIFY2(!fs::exists(file), c.name);
      QVERIFY2(app.fc->status()->text() == c.status, qPrintable(app.fc->status()->text()));
      QVERIFY2(app.parts().warningsWindow->Text() == warningsBefore, c.name);
      const FiringClampCharts& charts = app.session->fcCharts;
      for (const Chart* chart : {&charts.vsI, &charts.vsG}) {
        QVERIFY2(PointsOf(*chart, "subV") == 0 && PointsOf(*chart, "PulseV-VT") == 0, c.name);
        QVERIFY2(PointsOf(*chart, "dVdt_V1") == kGridPulses, c.name);
      }
    }
  }

  // "Approximate" fits the calibration, writes "Equations.txt", shows the
  // surfaces' equations on the labels (not the regressions') and the
  // estimations window; "Draw approximated versus true z1, z2" then plots
  // one point per calibration point (kind 5 from the second on).
  void approximationFillsTheComparisonCharts() {
    const struct {
      const char* name;
      ApproxKind kind;
      const char* firstLine;
      QString label1;
      int points;
    } cases[] = {{"cylindrical", ApproxKind::Cylindrical, "z1=(", "", kGridPulses},
                 {"regression 7", ApproxKind::Regression7, "I=", "z1=", kGridPulses - 1}};
    for (const auto& c : cases) {
      CalibratedApp app;
      app.approx->kind()->setCurrentIndex(static_cast<int>(c.kind));
      app.approx->approximate()->click();
      std::ifstream equations(app.data / kEquationsFileName);
      std::string line1;
      std::getline(equations, line1);
      QVERIFY2(line1.starts_with(c.firstLine), line1.c_str());
      const QString expectedLabel = c.label1.isEmpty() ? QString::fromStdString(line1).trimmed() : c.label1;
      QVERIFY2(app.approx->equation(1)->text() == expectedLabel, qPrintable(app.approx->equation(1)->text()));
      QVERIFY2(app.parts().estimationsWindow->isVisible(), c.name);

      app.approx->drawVersusTrue()->click();
      const ComparisonCharts& charts = app.session->fcCharts.comparison;
      for (const Chart* chart : {&charts.first, &charts.second}) {
        QVERIFY2(PointsOf(*chart, "approximated") == c.points, c.name);
        QVERIFY2(PointsOf(*chart, "true") == c.points, c.name);
      }
      QVERIFY2(app.approx->comparison(1)->isVisibleTo(app.approx), c.name);
      QVERIFY2(!app.approx->lattice(1)->isVisibleTo(app.approx), c.name);
    }
  }

  // Without a calibration file the approximation says so and changes
  // nothing; the comparison has nothing to draw and says that.
  void approximationWithoutCalibrationSaysSo() {
    CalibratedApp app(false);
    app.approx->approximate()->click();
    QVERIFY(app.parts().warningsWindow->Text().contains(QString::fromUtf8(kNoCalibrationMessage.data())));
    QCOMPARE(app.approx->equation(1)->text(), QString("z1="));
    QVERIFY(!fs::exists(app.data / kEquationsFileName));
    app.approx->drawVersusTrue()->click();
    QVERIFY(app.parts().warningsWindow->Text().contains("nothing has been approximated yet"));
    QVERIFY(PointsOf(app.session->fcCharts.comparison.first, "approximated") <= 0);
  }

  // The lattices take the comparison charts' place; each frame's colour
  // bar ends, shown on its labels as 8:3, are the scale limits of the
  // surface it shows; "Rescale" keeps the span and "Write" writes both files.
  void latticesShowTheirColourLimits() {
    CalibratedApp app;
    app.approx->kind()->setCurrentIndex(static_cast<int>(ApproxKind::Cylindrical));
    app.parts().pages->setCurrentIndex(static_cast<int>(MainPage::ApproximateFC));
    QElapsedTimer clock;
    clock.start();
    app.approx->drawLattices()->click();
    app.window->repaint();
    const qint64 ms = clock.restart();
    // Where the time goes: the fit and the lattice in the core, then the four views.
    NullSink sink;
    ApproxState state;
    LatticeFrame frames1, frames2;
    QVERIFY(DrawLattices(app.window->settings().approx, app.data, std::nullopt, 1, 2, state, frames1, frames2, sink));
    const qint64 coreMs = clock.restart();
    for (int m = 1; m <= 2; ++m) {
      app.approx->lattice(m)->map()->Refresh();
      app.approx->lattice(m)->colorBar()->Refresh();
    }
    app.window->repaint();
    qInfo("lattices drawn (two frames of 7,821 bubbles each): %lld ms; the core alone %lld ms, the views %lld ms", ms,
          coreMs, clock.elapsed());

    const Lattice& L = app.session->lattice;
    QCOMPARE(L.nLatI, 100);
    QVERIFY(!app.approx->comparison(1)->isVisibleTo(app.approx));
    const LatticeFrame* frames[2] = {&app.session->fcCharts.lattice1, &app.session->fcCharts.lattice2};
    const std::vector<double>* Z[2] = {&L.LatZ1, &L.LatZ2};
    for (int m = 1; m <= 2; ++m) {
      const LatticeFrame& frame = *frames[m - 1];
      app::LatticeView* view = app.approx->lattice(m);
      QVERIFY2(view->isVisible(), qPrintable(QString::number(m)));
      double zMin = 1e10, zMax = -1e10;
      for (int i = 1; i <= L.nLatI; ++i)
        for (int j = 1; j <= L.nLatG; ++j) {
          zMin = std::min(zMin, (*Z[m - 1])[L.Node(i, j)]);
          zMax = std::max(zMax, (*Z[m - 1])[L.Node(i, j)]);
        }
      const ColorScale expected = ColorScaleLimits(zMin, zMax);
      QVERIFY(zMax > zMin);
      QCOMPARE(frame.zLo, expected.zLo);
      QCOMPARE(frame.zHi, expected.zHi);
      QCOMPARE(view->lowLabel()->text(), QString::fromStdString(Fixed(expected.zLo, 8, 3)));
      QCOMPARE(view->highLabel()->text(), QString::fromStdString(Fixed(expected.zHi, 8, 3)));
      QCOMPARE(FindSeries(frame.map, "Lattice")->bubbles.size(), std::size_t{99 * 79});
    }

    const AxisLimits span{frames[0]->map.bottom.min, frames[0]->map.bottom.max};
    app.approx->lattice(2)->selector()->setCurrentIndex(2);
    QCOMPARE(app.window->settings().latticeSurface2, 3);
    app.approx->rescale()->click();
    QCOMPARE(frames[0]->map.bottom.min, span.min);
    QCOMPARE(frames[0]->map.bottom.max, span.max);

    app.approx->write()->click();
    QCOMPARE(LinesOf(app.data / kLatticeFileName), 2 + 101 * 81);
    QCOMPARE(LinesOf(app.data / kCalibrationPointsFileName), kGridPulses);
  }

  // One 900,001-sample recording (45 s at 20 kHz) analysed, approximated
  // from the grid's calibration, estimated and drawn, from the list click
  // to the painted window.
  void wholeRunOverALongRecording() {
    CalibratedApp app;
    const fs::path data = app.home / "estimation";
    WriteEstimationRecording(data, 45000);
    fs::copy_file(app.data / kCalibrationFileName, data / kCalibrationFileName);
    QVERIFY(app.window->SetDataDirectory(QString::fromStdString(data.string())));
    app.fc->approximate()->click();

    // The first run touches the buffers of a long sweep for the first time;
    // a second click reuses them.
    qint64 ms[2] = {0, 0};
    for (qint64& run : ms) {
      QElapsedTimer clock;
      clock.start();
      SelectAllAndLoad(*app.window);
      app.window->repaint();
      run = clock.elapsed();
    }
    const Session& s = *app.session;
    QVERIFY(s.rec.traces.nLast(1) >= 899999);
    QCOMPARE(app.fc->status()->text(), QString("Done"));
    QVERIFY(s.pulses.nPulses > 800);
    QVERIFY(PointsOf(s.fcCharts.estimations.current, "Estimated I") > 800);
    QVERIFY(app.parts().estimationsWindow->isVisible());

    // Where the time goes: the core's run alone, then the views.
    QElapsedTimer part;
    part.start();
    NullSink sink;
    Settings settings = app.window->settings();
    QVERIFY(FiringClampDriver(*app.session, settings, {0}, sink, MainPage::FiringClamp, {.estimations = true}));
    const qint64 coreMs = part.restart();
    for (app::ChartView* view : {app.fc->timeView(), app.fc->vsIView(), app.fc->vsGView()}) view->Refresh();
    app.window->repaint();
    qInfo("firing-clamp run over 900,001 samples with approximation and estimation: %lld ms the first time, "
          "%lld ms the next; the core alone %lld ms, the firing-clamp tab's charts %lld ms",
          ms[0], ms[1], coreMs, part.elapsed());
  }
};

QTEST_MAIN(FiringClampTest)
#include "FiringClampTest.moc"
