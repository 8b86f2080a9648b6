// "Form5: Estimations_FC" and "Form6: current" on model-cell data: the
// estimation drawn by a firing-clamp run, "Average" and its "Align to
// stimuli", the switches of what the charts show, the double clicks of the
// fields, and the detection of stimulation artefacts.

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cmath>
#include <fstream>
#include <set>

#include "EstimationsFixture.h"
#include "recording/ParameterFile.h"
#include "recording/SideFiles.h"

using namespace velmora;
using namespace velmora::testing;
namespace fs = std::filesystem;

namespace {

// "TrueAndEstimated_I_G.dat" of four pulses: at 100 ms alone in bin 1; at
// 150 ms (half-way, to the even bin 2), 160 ms and 250 ms (half-way again,
// to bin 2) together at dt_av = 100 ms.
constexpr const char* kFourPulses =
    " 100.000    5.000  110.000    6.000  100.000  -60.000  -50.000    2.000    4.000    0.000  -55.000\r\n"
    " 100.000    5.000  120.000    7.000  150.000  -61.000  -51.000    3.000    4.000    0.000  -56.000\r\n"
    " 100.000    5.000  130.000    8.000  160.000  -62.000  -52.000    3.000    5.000    0.000  -57.000\r\n"
    " 100.000    5.000  140.000    9.000  250.000  -63.000  -53.000    4.000    5.000    0.000  -58.000\r\n";

// A started program with Form5 shown, whose data directory holds that file.
struct AppWithEstimates : StartedApp {
  fs::path data = home / "estimates";
  app::EstimationsWindow* estimationsWindow = window->parts().estimationsWindow;

  AppWithEstimates() {
    fs::create_directories(data);
    std::ofstream(data / std::string(kEstimatesFileName), std::ios::binary) << kFourPulses;
    window->SetDataDirectory(QString::fromStdString(data.string()));
    estimationsWindow->show();
  }
};

}  // namespace

class EstimationsTest : public QObject {
  Q_OBJECT

 private slots:
  // A firing-clamp run estimates with Form5 shown: every estimated series
  // has a point per pulse, the conductance chart gives its place to
  // the voltage chart when "V from GE,GI" is ticked, and "Average" redraws
  // the means at its own bin width.
  void firingClampRunDrawsTheEstimatesAndAverageTheMeans() {
    CalibratedFcApp app;
    app::EstimationsWindow* estimationsWindow = app.parts().estimationsWindow;
    const EstimationCharts& charts = app.session->fcCharts.estimations;
    estimationsWindow->show();
    app.parts().currentWindow->show();
    estimationsWindow->parts().VfromGEGI->setChecked(true);
    QElapsedTimer clock;
    clock.start();
    SelectAllAndLoadFc(*app.window);
    const qint64 runMs = clock.elapsed();
    const int n = app.session->pulses.nPulses;
    QVERIFY(n > 10);
    for (const auto& [chart, title] : {std::pair{&charts.current, "Estimated I"}, {&charts.current, "TrueStim I"},
                                       {&charts.conductance, "Estimated G      "}, {&charts.conductance, "GE"},
                                       {&charts.conductance, "GI"}, {&charts.z, "z1"}, {&charts.z, "z2"},
                                       {&charts.voltage, "V from GE,GI"}})
      QVERIFY2(PointsOf(*chart, title) == n, title);
    QVERIFY(PointsOf(charts.current, "True I") > n);
    QVERIFY(PointsOf(charts.current, "mean_Estim_I") > 0);
    QVERIFY(PointsOf(app.session->charts.stimulus, "Pointer") == n);
    QVERIFY(fs::exists(app.estimation / kEstimatesFileName));
    // The run draws behind the window's back; the swap follows at the repaint.
    QTRY_VERIFY(estimationsWindow->voltageChartShown());
    QVERIFY(estimationsWindow->parts().voltage->isVisible() && !estimationsWindow->parts().conductance->isVisible());
    QCOMPARE(estimationsWindow->parts().current->DrawnSeriesCount(), static_cast<int>(charts.current.series.size()));

    estimationsWindow->parts().dt_av->setValue(1000);
    clock.restart();
    estimationsWindow->parts().average->click();
    const qint64 averageMs = clock.elapsed();
    const Pulses& p = app.session->pulses;
    std::set<double> bins;
    for (int j = 1; j <= p.nPulses; ++j) bins.insert(std::nearbyint((p.tPulse[j] - 1000 * app.session->rec.t0) / 1000));
    QCOMPARE(PointsOf(charts.current, "mean_Estim_I"), static_cast<int>(bins.size()));
    for (const ChartPoint& point : FindSeries(charts.z, "mean z1")->points)
      QVERIFY2(std::fmod(point.x - 1000 * app.session->rec.t0, 1000) == 0, qPrintable(QString::number(point.x)));
    qInfo("firing-clamp run with estimation of %d pulses, drawn: %lld ms; \"Average\": %lld ms", n, runMs, averageMs);
    QVERIFY2(averageMs < 2000, qPrintable(QString::number(averageMs)));
  }

  // "Analytic" estimates from the pulses analysed last and draws that;
  // without pulses it says so and leaves the charts alone.
  void analyticDrawsTheAnalyticEstimate() {
    {
      AppWithEstimates app;
      app.estimationsWindow->parts().analytic->click();
      QVERIFY(app.parts().warningsWindow->Text().contains("Analytic: there are no pulses"));
      QCOMPARE(PointsOf(app.session->fcCharts.estimations.current, "Estimated I"), 0);
    }
    CalibratedFcApp app;
    app.parts().estimationsWindow->show();
    SelectAllAndLoadFc(*app.window);
    Pulses expected = app.session->pulses;
    NullSink sink;
    AnalyticEstimate(expected, app.session->rec.par.FCPars.Ipos, sink);
    app.parts().estimationsWindow->parts().analytic->click();
    const Series* estI = FindSeries(app.session->fcCharts.estimations.current, "Estimated I");
    QCOMPARE(static_cast<int>(estI->points.size()), expected.nPulses);
    for (int j = 1; j <= expected.nPulses; ++j)
      QVERIFY2(estI->points[j - 1].y == expected.Iest[j], qPrintable(QString::number(j)));
    Pulses written;
    QVERIFY(ReadEstimates(app.estimation, nullptr, written));
    QCOMPARE(written.nPulses, expected.nPulses);
    QVERIFY(std::abs(written.Iest[2] - expected.Iest[2]) <= 0.0005);
  }

  // Each "Adjust scales to ..." copies the time axis of its own partner,
  // and "Auto" gives the axes back their automatic scaling.
  void adjustScalesTakesThePartnersTimeAxis() {
    StartedApp app;
    Session& s = *app.session;
    const app::EstimationsWindow::Parts& f5 = app.parts().estimationsWindow->parts();
    const app::CurrentWindow::Parts& f6 = app.parts().currentWindow->parts();
    app.parts().estimationsWindow->show();
    s.fcCharts.time.bottom = {"ms", false, 100, 900};
    s.charts.current.bottom = {"ms", false, 20, 40};
    app.parts().current->Refresh();  // what the partner shows is what is copied
    EstimationCharts& e = s.fcCharts.estimations;
    const struct {
      const char* name;
      QPushButton* adjust;
      std::vector<Chart*> targets;
      AxisLimits expected;
    } cases[] = {
        {"Form5 to FC", f5.adjustToFC, {&e.current, &e.conductance, &e.voltage}, {100, 900}},
        {"Form5 z to I-plot", f5.adjustToCurrent, {&e.z}, {100, 900}},
        {"Form6 to current", f6.adjustToCurrent, {&s.charts.stimulus}, {20, 40}},
        {"Form6 to FC", f6.adjustToFC, {&s.charts.stimulus}, {100, 900}},
    };
    for (const auto& c : cases) {
      c.adjust->click();
      for (const Chart* chart : c.targets) {
        QVERIFY2(!chart->bottom.automatic, c.name);
        QVERIFY2((AxisLimits{chart->bottom.min, chart->bottom.max} == c.expected), c.name);
      }
    }
    for (QPushButton* autoScale : {f5.autoTime, f5.autoZ, f6.autoScale}) autoScale->click();
    for (const Chart* chart : {&e.current, &e.conductance, &e.voltage, &e.z, &s.charts.stimulus})
      QVERIFY2(chart->bottom.automatic, chart->title.c_str());
  }

  // The file holds the times as written: "Average" must not align them a
  // second time, and must give "Align to stimuli" back as it found it, also
  // when the file cannot be read.
  void averageGivesAlignToStimuliBack() {
    const struct {
      const char* name;
      bool align;
      bool file;
    } cases[] = {{"ticked", true, true}, {"unticked", false, true}, {"ticked, no file", true, false}};
    for (const auto& c : cases) {
      AppWithEstimates app;
      if (!c.file) fs::remove(app.data / kEstimatesFileName);
      app.session->StimTimes = {50, 120, 240};  // ms
      app.window->settings().draw.alignFC = c.align;
      app.estimationsWindow->parts().dt_av->setValue(100);
      app.estimationsWindow->parts().average->click();
      QVERIFY2(app.window->settings().draw.alignFC == c.align, c.name);
      const Series* meanI = FindSeries(app.session->fcCharts.estimations.current, "mean_Estim_I");
      if (c.file) {
        const std::vector<ChartPoint> expected = {{100, 110}, {200, 130}};
        QVERIFY2(meanI->points == expected, c.name);
        QVERIFY2(FindSeries(app.session->fcCharts.estimations.current, "Estimated I")->points[1].x == 150, c.name);
      } else {
        QVERIFY2(meanI->points.empty(), c.name);
        QVERIFY2(app.parts().warningsWindow->Text().contains("TrueAndEstimated_I_G.dat"), c.name);
      }
    }
  }

  // "V from GE,GI" and "show lines" act at the next drawing, not before;
  // "Hide legends" toggles the legends of all charts but the voltage chart.
  void chartSwitchesChangeWhatTheChartsShow() {
    const struct {
      const char* name;
      bool voltage, lines;
    } cases[] = {{"voltage, no lines", true, false}, {"conductance, lines", false, true}};
    for (const auto& c : cases) {
      AppWithEstimates app;
      const EstimationCharts& charts = app.session->fcCharts.estimations;
      const app::EstimationsWindow::Parts& f = app.estimationsWindow->parts();
      f.VfromGEGI->setChecked(c.voltage);
      f.showLines->setChecked(c.lines);
      QVERIFY2(!app.estimationsWindow->voltageChartShown() && FindSeries(charts.z, "z1")->linePenShown, c.name);

      f.average->click();
      QVERIFY2(f.voltage->isVisible() == c.voltage && f.conductance->isVisible() == !c.voltage, c.name);
      QVERIFY2(PointsOf(charts.voltage, "V from GE,GI") == (c.voltage ? 4 : 0), c.name);
      for (const Chart* chart : {&charts.current, &charts.conductance, &charts.voltage, &charts.z})
        for (const Series& s : chart->series) QVERIFY2(s.linePenShown == c.lines, c.name);

      for (const bool shown : {false, true}) {
        f.hideLegends->click();
        for (const Chart* chart : {&charts.current, &charts.conductance, &charts.z})
          QVERIFY2(chart->legendShown == shown, chart->title.c_str());
        QVERIFY(charts.voltage.legendShown);
      }
    }
  }

  // A double click zeroes the field clicked and nothing else ("VL=" included).
  void doubleClickZeroesOnlyTheFieldClicked() {
    StartedApp app;
    const app::EstimationsWindow::Parts& f = app.parts().estimationsWindow->parts();
    for (app::NumberField* field : {f.Ioffset, f.Goffset, f.wFilter, f.Vjunction, f.VLss}) {
      for (app::NumberField* other : {f.Ioffset, f.Goffset, f.wFilter, f.Vjunction, f.VLss}) other->setValue(2);
      QTest::mouseDClick(field->spin()->findChild<QLineEdit*>(), Qt::LeftButton);
      const QString name = field->label()->text();
      QVERIFY2(field->value() == 0, qPrintable(name));
      for (app::NumberField* other : {f.Ioffset, f.Goffset, f.wFilter, f.Vjunction, f.VLss})
        if (other != field) QVERIFY2(other->value() == 2, qPrintable(name + " zeroed " + other->label()->text()));
    }
    const EstimationsWindowSettings& s = app.window->settings().estimations;
    QCOMPARE(s.corrections.Ioffset, 2.0);
    QCOMPARE(s.VLss, 0.0);
  }

  // "Find stimulation artifacts" on the sweep shown: the stimulator's times
  // in "Stimuli" and in the sweep's ".stim" file; without a sweep it says so.
  void findStimulationArtifactsFillsStimuliAndTheStimFile() {
    StartedApp app;
    app::CurrentWindow* currentWindow = app.parts().currentWindow;
    currentWindow->parts().find->click();
    QVERIFY(app.parts().warningsWindow->Text().contains("no sweep is loaded"));
    QVERIFY(currentWindow->parts().find->isEnabled());

    const fs::path data = app.home / "waves";
    WriteStimulatedWaves(data);
    QVERIFY(app.window->SetDataDirectory(QString::fromStdString(data.string())));
    SelectAndLoad(*app.window, 1);
    currentWindow->hide();
    QElapsedTimer clock;
    clock.start();
    currentWindow->parts().find->click();
    const qint64 ms = clock.elapsed();
    QVERIFY(currentWindow->isVisible());
    QVERIFY(currentWindow->parts().find->isEnabled());
    QCOMPARE(currentWindow->parts().ddI_limit->value(), 5000.0);

    const std::vector<double>& T = app.session->StimTimes;
    QCOMPARE(static_cast<int>(T.size()), 6);  // 50, 549, ..., 2545 ms
    for (std::size_t k = 0; k < T.size(); ++k)
      QVERIFY2(std::abs(T[k] - (50 + 499.0 * k)) <= 0.1, qPrintable(QString::number(T[k])));
    QCOMPARE(PointsOf(app.session->charts.stimulus, "Stimuli"), 6);
    QVERIFY(PointsOf(app.session->charts.stimulus, "Iextract") > 0);
    NullSink sink;
    const auto written = ReadStimFile(RecordingBaseName(app.session->rec.FileNames[1]) + ".stim", sink);
    QVERIFY(written);
    QCOMPARE(written->size(), T.size());
    qInfo("artefact detection over %d samples: %lld ms", app.session->rec.traces.nLast(1) + 1, ms);
  }
};

QTEST_MAIN(EstimationsTest)
#include "EstimationsTest.moc"
