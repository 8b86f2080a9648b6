// The actions of the main window on recordings of the model cell: loading
// from the list of files, the sweep selector, F-I runs, the overlay, the
// LFP window, deleting recordings and the guard against a second action.

#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QListWidget>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <fstream>

#include "AppFixture.h"
#include "app/FiringClampPage.h"

using namespace velmora;
using namespace velmora::testing;
namespace fs = std::filesystem;

namespace {

// Model-cell recordings of a column format in `dir`.
void WriteColumns(const fs::path& dir, SynthProtocol protocol) {
  SynthSettings s;
  s.protocol = protocol;
  NullSink sink;
  auto written = WriteSynthRecording(s, dir, sink);
  if (!written) qFatal("%s", written.error().What().c_str());
}

void ClickButton(QWidget* window, const QString& caption) {
  for (auto* button : window->findChildren<QPushButton*>())
    if (button->text() == caption) return button->click();
  QFAIL(qPrintable("no button " + caption));
}

// The file dialogs answer `path` and remember what they were asked.
struct AnsweredDialogs {
  QStringList filters;
  explicit AnsweredDialogs(app::MainWindow& window, const QString& path) {
    window.askForPath = [this, path](const QString&, const QString&, const QString& filter) {
      filters.append(filter);
      return path;
    };
  }
};

}  // namespace

class ActionsTest : public QObject {
  Q_OBJECT

 private slots:
  // The list click must end with the voltage and current of sweep 1 drawn,
  // every Skip-th sample, and the view showing what the model holds.
  void loadingFromTheListDrawsVoltageAndCurrent() {
    AppWithSteps app(3);
    QCOMPARE(app.parts().fileListWindow->list()->count(), 3);
    SelectAndLoad(*app.window, 2);
    const Recording& rec = app.session->rec;
    QCOMPARE(rec.nFiles, 2);
    const int expected = rec.traces.nLast(1) / 30 + 1;  // Skip = 30
    QCOMPARE(PointsOf(app.session->charts.voltage, "V, exp."), expected);
    for (const char* title : {"Ireal, exp.", "Icom, exp."})
      QVERIFY2(PointsOf(app.session->charts.current, title) == expected, title);
    for (const char* title : {"I", "G", "gNMDA"}) QVERIFY2(PointsOf(app.session->charts.current, title) > 0, title);
    QVERIFY(PointsOf(app.session->charts.voltage, "Spikes") > 0);
    QCOMPARE(app.parts().current->DrawnSeriesCount(), static_cast<int>(app.session->charts.current.series.size()));
    QCOMPARE(app.parts().statusPanel->palette().color(QPalette::Window), QColor(101, 179, 6));
    QVERIFY(app.parts().parametersWindow->labels()->count() > 0);
    QVERIFY(app.parts().statusText->text().endsWith("done"));
    QCOMPARE(QString::fromStdString(PreviousDir(app.home.path())), QString::fromStdString(app.data.string()));
  }

  // Outside 1..nFiles the field goes to the nearer bound without a read;
  // inside, the sweep is read and drawn.
  void smplIsKeptWithinTheLoadedSweeps() {
    AppWithSteps app(5);
    SelectAndLoad(*app.window, 5);
    const Recording& rec = app.session->rec;
    app.parts().Smpl->setValue(3);
    QCOMPARE(rec.iFile, 3);
    const struct {
      double typed, shown;
    } cases[] = {{0, 1}, {7, 5}, {-2, 1}};
    for (const auto& c : cases) {
      app.parts().Smpl->setValue(c.typed);
      QVERIFY2(app.parts().Smpl->value() == c.shown, qPrintable(QString::number(c.typed)));
      QVERIFY2(rec.iFile == 3, qPrintable(QString::number(c.typed)));  // no read
    }
    app.parts().Smpl->setValue(4);
    QCOMPARE(rec.iFile, 4);
  }

  // Form2 keeps the points of every run until "Clear".
  void fiRunFillsForm2AndClearEmptiesIt() {
    AppWithSteps app(4);
    SelectAndLoad(*app.window, 4);
    app.window->FICurvesRun();
    QVERIFY(app.parts().fiCurvesWindow->isVisible());
    const int nSpikes = PointsOf(app.session->charts.fiCurrent, "N of spikes");
    QVERIFY(nSpikes > 0);
    QVERIFY(PointsOf(app.session->charts.fiConductance, "nu_Last") > 0);
    QVERIFY(fs::exists(app.data / "out_nu.dat"));
    app.window->FICurvesRun();
    QCOMPARE(PointsOf(app.session->charts.fiCurrent, "N of spikes"), 2 * nSpikes);
    app.parts().fiCurvesWindow->Clear();
    for (const Chart* chart : {&app.session->charts.fiCurrent, &app.session->charts.fiConductance})
      for (const Series& s : chart->series) QVERIFY2(s.points.empty(), s.title.c_str());
  }

  // "TreatAllDirs" runs the F-I analysis in every experiment directory under
  // the data directory, into Form2 and the result files beside them.
  void treatAllDirsCoversEveryExperimentDirectory() {
    StartedApp app;
    const fs::path root = app.home / "experiments";
    WriteColumns(root / "cellA_gst", SynthProtocol::OldColumns);
    WriteColumns(root / "cellB_gst", SynthProtocol::OldColumns);
    QVERIFY(app.window->SetDataDirectory(QString::fromStdString(root.string())));
    app.parts().formatBox->setCurrentIndex(0);
    app.parts().Skip->setValue(1);  // thinned column traces lose spike peaks
    app.window->TreatAllDirsRun();
    QVERIFY(app.parts().fiCurvesWindow->isVisible());
    QVERIFY(PointsOf(app.session->charts.fiCurrent, "N of spikes") > 0);
    std::ifstream in(root / "out_nu.dat", std::ios::binary);
    const std::string nu((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto lines = std::count(nu.begin(), nu.end(), '\n');
    QVERIFY2(lines >= 3 && (lines - 1) % 2 == 0, nu.c_str());  // the header and the same sweeps twice
  }

  // The column formats ask for their files: the old one for the voltage
  // file, whose name gives the current and header files beside it.
  void oldFormatAsksForTheVoltageFileAndDraws() {
    StartedApp app;
    const fs::path dir = app.home / "cell_gst";
    WriteColumns(dir, SynthProtocol::OldColumns);
    app.parts().formatBox->setCurrentIndex(0);
    QVERIFY(app.parts().readAndDraw->isEnabled());
    const QString voltage = QString::fromStdString((dir / "cell_gst_voltage.txt").string());
    AnsweredDialogs dialogs(*app.window, voltage);
    app.window->ReadAndDrawData();
    QCOMPARE(dialogs.filters, QStringList{"Voltage files (*voltage.txt)"});
    QCOMPARE(QString::fromStdString(app.session->files.VoltFile), voltage);
    QCOMPARE(app.session->files.HeaderFile, (dir / "cell_gst_header.txt").string());
    QVERIFY(app.session->rec.nFiles > 0);
    QVERIFY(PointsOf(app.session->charts.voltage, "V, exp.") > 0);
  }

  // Read thinned by "Sketch plotting", a column file loses every spike with
  // only the filter's complaint: the user must learn why and what to do, once per read.
  void sketchReadOfAColumnFileSaysHowToGetFullResolution() {
    StartedApp app;
    const fs::path dir = app.home / "cell_gst";
    WriteColumns(dir, SynthProtocol::OldColumns);
    app.parts().formatBox->setCurrentIndex(0);
    AnsweredDialogs dialogs(*app.window, QString::fromStdString((dir / "cell_gst_voltage.txt").string()));
    QCOMPARE(app.window->settings().Skip, 30.0);
    app.window->ReadAndDrawData();
    QCOMPARE(app.session->spikes.nSpikes, 0);
    QCOMPARE(app.parts().warningsWindow->Text().count("F3"), 1);
    QVERIFY(app.parts().warningsWindow->Text().contains("cell_gst_voltage.txt"));
    app.window->ReadAndDrawData();
    QCOMPARE(app.parts().warningsWindow->Text().count("F3"), 2);

    app.parts().Skip->setValue(1);  // the full resolution
    app.window->ReadAndDrawData();
    QCOMPARE(app.parts().warningsWindow->Text().count("F3"), 2);
  }

  // The new one asks for the directory that holds its fixed file names.
  void newFormatAsksForTheDirectoryAndDraws() {
    StartedApp app;
    const fs::path dir = app.home / "cell.gs1";
    WriteColumns(dir, SynthProtocol::NewColumns);
    app.parts().formatBox->setCurrentIndex(1);
    AnsweredDialogs dialogs(*app.window, QString::fromStdString(dir.string()));
    app.window->ReadAndDrawData();
    QCOMPARE(dialogs.filters, QStringList{QString()});  // a directory
    QCOMPARE(QString::fromStdString(app.session->files.VoltFile), QString::fromStdString((dir / "voltage.txt").string()));
    QVERIFY(app.session->rec.nFiles > 0);
    QVERIFY(PointsOf(app.session->charts.voltage, "V, exp.") > 0);
  }

  // A double click on a trace hides it and "Activate all curves" brings it back.
  void doubleClickHidesAndActivateAllCurvesRestores() {
    AppWithSteps app(1);
    SelectAndLoad(*app.window, 1);
    app.window->resize(1200, 800);
    QApplication::processEvents();
    app::ChartView* view = app.parts().voltage;
    const Series& V = *FindSeries(app.session->charts.voltage, "V, exp.");
    // A point of the resting voltage before the step, away from the spike markers.
    const ChartPoint p = V.points[V.points.size() / 20];
    QTest::mouseDClick(view->Canvas(), Qt::LeftButton, Qt::NoModifier, view->PixelOf(p.x, p.y));
    QVERIFY(!V.shown);
    QVERIFY(!view->DrawnVisible(0));
    // The charts of the other pages come back too.
    Series& onFcPage = EnsureSeries(app.session->fcCharts.time, "V", SeriesKind::Line);
    onFcPage.shown = false;
    app.parts().activateAllCurves->trigger();
    QVERIFY(V.shown);
    QVERIFY(view->DrawnVisible(0));
    QVERIFY(onFcPage.shown);
  }

  // The overlay is every sample of the sweep against the time since its spike.
  void superimposeVFillsForm3() {
    AppWithSteps app(1);
    SelectAndLoad(*app.window, 1);
    app.window->SuperimposeVRun();
    QVERIFY(app.parts().overlayWindow->isVisible());
    const Chart& overlay = app.session->charts.overlay;
    QCOMPARE(overlay.series.size(), std::size_t{1});
    QCOMPARE(static_cast<int>(overlay.series[0].points.size()), app.session->rec.traces.nLast(1));
  }

  // Form10 is visible exactly when the recording has an LFP channel.
  void lfpWindowFollowsTheRecording() {
    AppWithSteps withLfp(1, true);
    SelectAndLoad(*withLfp.window, 1);
    QVERIFY(withLfp.parts().lfpWindow->isVisible());
    QVERIFY(PointsOf(withLfp.session->charts.lfp, "LFP") > 0);

    // Its time axis follows the firing-clamp chart on request, and "Auto" lets it go again.
    const AxisLimits fc = withLfp.window->parts().firingClampPage->timeView()->ShownTimeRange();
    ClickButton(withLfp.parts().lfpWindow, "Adjust scales to voltage inFC");
    const Axis& time = withLfp.session->charts.lfp.bottom;
    QVERIFY(!time.automatic);
    QCOMPARE(time.min, fc.min);
    QCOMPARE(time.max, fc.max);
    ClickButton(withLfp.parts().lfpWindow, "Auto");
    QVERIFY(time.automatic);

    AppWithSteps without(1, false);
    without.parts().lfpWindow->show();
    SelectAndLoad(*without.window, 1);
    QVERIFY(!without.parts().lfpWindow->isVisible());
  }

  // Deleting recordings from disk takes a confirmation: one stray key
  // press must not destroy data that cannot be recovered.
  void deleteKeyAsksBeforeDeleting() {
    AppWithSteps app(3);
    QListWidget* list = app.parts().fileListWindow->list();
    int asked = 0;
    bool answer = false;
    app.parts().fileListWindow->confirmDelete = [&](int count) {
      ++asked;
      return count == 1 && answer;
    };
    const fs::path trace = app.data / app.session->listed[1].trace;
    {
      const QSignalBlocker block(list);
      list->item(1)->setSelected(true);
    }
    QTest::keyClick(list, Qt::Key_D);
    QCOMPARE(asked, 1);
    QVERIFY(fs::exists(trace));
    QCOMPARE(list->count(), 3);
    answer = true;
    QTest::keyClick(list, Qt::Key_D);
    QVERIFY(!fs::exists(trace));
    QCOMPARE(list->count(), 2);
  }

  // An action started while another runs is refused with a message, instead
  // of running inside the first and changing the state under its feet.
  void secondActionWhileOneRunsIsRefused() {
    AppWithSteps app(4);
    SelectAndLoad(*app.window, 4);
    bool refused = false;
    QTimer::singleShot(0, app.window.get(), [&] {
      QVERIFY(app.window->busy());
      app.window->SuperimposeVRun();
      refused = app.parts().warningsWindow->Text().contains(
          "\"SuperimposeV\" was not started: \"F_I_curves\" is still running.");
    });
    app.window->FICurvesRun();
    QVERIFY(refused);
    QVERIFY(!app.window->busy());
    QVERIFY(app.session->charts.overlay.series.empty());
  }

  // "CopyToBMP" gives the whole chart on white.
  void copyToBmpPutsTheChartOnTheClipboard() {
    AppWithSteps app(1);
    SelectAndLoad(*app.window, 1);
    app.parts().voltage->CopyToClipboard();
    const QImage image = QApplication::clipboard()->image();
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), app.parts().voltage->Canvas()->size());
    QCOMPARE(image.pixelColor(1, 1), QColor(Qt::white));
  }
};

QTEST_MAIN(ActionsTest)
#include "ActionsTest.moc"
