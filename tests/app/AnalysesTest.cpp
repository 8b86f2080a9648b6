// "Form13: Statistics", "Form8: Varnel's method of splitting conductances"
// and the "Lissajous" tab, driven through their controls on model-cell
// sweeps and on traces written straight into the recording.

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "AppFixture.h"
#include "actions/StatisticsRun.h"
#include "app/LissajousPage.h"
#include "app/SplittingForm.h"
#include "app/StatisticsForm.h"
#include "recording/TextIO.h"

using namespace velmora;
using namespace velmora::testing;
namespace fs = std::filesystem;

namespace {

// A started program with `n` model-cell sweeps loaded from its data directory.
struct AppWithSweeps : StartedApp {
  explicit AppWithSweeps(int n, double durationMs = 1000, bool binary = false) {
    const fs::path data = home / "steps";
    WriteSteps(data, n, durationMs, false, binary);
    if (!window->SetDataDirectory(QString::fromStdString(data.string()))) qFatal("no data directory");
    SelectAndLoad(*window, n);
  }
};

const ChartPoint* LastPoint(const Chart& chart, const char* title) {
  const Series* s = FindSeries(chart, title);
  return s && !s->points.empty() ? &s->points.back() : nullptr;
}

std::vector<ChartPoint> PointsIn(const Chart& chart, const char* title) {
  const Series* s = FindSeries(chart, title);
  return s ? s->points : std::vector<ChartPoint>{};
}

QString Text(const std::string& s) { return QString::fromStdString(s); }

// Samples of `slot` with tStart < t < tEnd (ms), t rounded as the Lissajous plots round it.
int SamplesInside(const Recording& rec, int slot, double tStart, double tEnd) {
  const double dtMs = rec.dt * 1000;
  int n = 0;
  for (int s = 0; s <= rec.traces.nLast(slot); ++s) n += tStart < s * dtMs && s * dtMs < tEnd;
  return n;
}

}  // namespace

class AnalysesTest : public QObject {
  Q_OBJECT

 private slots:
  // The window must end with the pass's own last redraw, whatever the
  // animation drew before it, and with the settings of both windows:
  // n_intervals and nt_corr of Form13, n_Draw and n_Pointer of the main window.
  void statisticsEndWithTheCoresLastRedraw() {
    AppWithSweeps app(1);
    app::StatisticsForm& form = *app.parts().statisticsForm;
    form.nField()->setValue(20);
    form.ntCorrField()->setValue(200);
    app.window->settings().nDraw = 3;
    app.window->settings().nPointer = 70;
    QVERIFY(!form.isVisible());
    app.window->AnalyzeStatisticsRun();
    QVERIFY(form.isVisible());
    const StatisticsWindow shown = form.shown();
    const ChartPoint* vMarker = LastPoint(app.session->charts.voltage, "Pointer");
    QVERIFY(vMarker);
    const ChartPoint markerAfterRun = *vMarker;

    StatisticsSettings settings;
    settings.n = 20;
    settings.nt_corr = 200;
    settings.StatDrawStep = 3;
    settings.nPointer = 70;
    StatisticsWindow expected;
    CollectingSink sink;
    AnalyzeStatistics(*app.session, app.session->rec.iFile, settings, expected, sink);
    QCOMPARE(form.meanLabel()->text(), Text(expected.meanText));
    QCOMPARE(form.dispersionLabel()->text(), Text(expected.dispersionText));
    QCOMPARE(form.tauLabel()->text(), Text(expected.tauText));
    QVERIFY2(expected.tauText != " tau= ", "the sweep is long enough for tau");
    QCOMPARE(PointsIn(shown.histogram, "Histogram").size(), std::size_t{20});
    QVERIFY(PointsIn(shown.histogram, "Histogram") == PointsIn(expected.histogram, "Histogram"));
    QCOMPARE(PointsIn(shown.correlation, "Correlation").size(), std::size_t{201});
    QVERIFY(PointsIn(shown.correlation, "Correlation") == PointsIn(expected.correlation, "Correlation"));
    QVERIFY(markerAfterRun == *LastPoint(app.session->charts.voltage, "Pointer"));
    QVERIFY(app.parts().warningsWindow->Text().isEmpty());
  }

  // A pass over a full-length sweep must show its progress as it goes
  // (markers, "t=", the window's texts), also with the main charts holding
  // every sample (Skip = 1). The times are printed for a look; a test on a
  // shared machine cannot hold them to a limit.
  void statisticsOfAFullSweepAnimate() {
    AppWithSweeps app(1, 45000, true);  // 20 kHz: samples 0..900,000
    Recording& rec = app.session->rec;
    app::StatisticsForm& form = *app.parts().statisticsForm;
    QCOMPARE(form.settings().nt_corr, 1000.0);
    for (const int skip : {30, 1}) {
      app.parts().Skip->setValue(skip);
      SelectAndLoad(*app.window, 1);
      rec.tOn = 0;
      rec.tOff = 45000;
      QVERIFY(rec.traces.nLast(1) >= 899999);
      struct Frame {
        QString status, mean;
        double markerX;
      };
      std::vector<Frame> frames;
      QTimer watch;
      watch.setInterval(20);
      connect(&watch, &QTimer::timeout, [&] {
        if (!app.window->busy()) return;
        const ChartPoint* marker = LastPoint(app.session->charts.voltage, "Pointer");
        frames.push_back({app.parts().statusText->text(), form.meanLabel()->text(), marker ? marker->x : -1});
      });
      watch.start();
      QElapsedTimer clock;
      clock.start();
      app.window->AnalyzeStatisticsRun();
      const qint64 ms = clock.elapsed();
      watch.stop();

      QElapsedTimer core;
      core.start();
      StatisticsWindow alone;
      NullSink quiet;
      AnalyzeStatistics(*app.session, 1, form.settings(), alone, quiet);
      qInfo("statistics, nt_corr = 1000, %d samples, Skip = %d: %lld ms in the window (%zu frames seen); "
            "the core alone %lld ms",
            rec.traces.nLast(1), skip, ms, frames.size(), core.elapsed());

      const QString name = QString("Skip = %1").arg(skip);
      QVERIFY2(!frames.empty(), qPrintable(name + ": no frame was shown during the pass"));
      const double lastX = LastPoint(app.session->charts.voltage, "Pointer")->x;
      const Frame& first = frames.front();
      QVERIFY2(first.status.startsWith("t="), qPrintable(name + ": " + first.status));
      QVERIFY2(first.mean.startsWith(" Mean = "), qPrintable(name + ": " + first.mean));
      QVERIFY2(first.markerX > 0 && first.markerX < lastX, qPrintable(name + QString(": %1").arg(first.markerX)));
    }
  }

  void splitConductances_data() {
    QTest::addColumn<QString>("second");
    QTest::addColumn<double>("Vb");
    QTest::addColumn<double>("GE");
    QTest::addColumn<double>("GI");
    // VE = 0, VI = -75, GL = 0, I2 = -40 pA, Va = -60: D = 750.
    QTest::addRow("trace at -40 pA") << "current" << -70.0 << 0.8 << 3.2;
    QTest::addRow("constant voltage") << "constant" << -70.0 << 0.8 << 3.2;
    // Identical traces cannot be told apart: the result stays at 0.
    QTest::addRow("identical traces") << "current" << -60.0 << 0.0 << 0.0;
  }

  // The marking buttons take the sweep shown, the split draws and writes
  // every Skip-th sample, and "GL, nS" shows the CmdScale that marking took.
  void splitConductances() {
    QFETCH(QString, second);
    QFETCH(double, Vb);
    QFETCH(double, GE);
    QFETCH(double, GI);
    StartedApp app;
    Recording& rec = app.session->rec;
    rec.dt = 0.001;  // s
    rec.nFiles = 2;
    rec.par.StepPars.CmdScale = 2.5;
    for (const auto& [slot, V] : {std::pair{1, -60.0}, std::pair{2, Vb}}) {
      rec.traces[slot].V.assign(61, V);
      rec.traces[slot].Ireal.assign(61, 0);
      rec.traces[slot].nLast = 60;
    }
    app::SplittingForm& splitting = *app.parts().splittingForm;
    const app::SplittingForm::Controls& c = splitting.controls();
    rec.iFile = 1;
    c.markAtZero->click();
    QCOMPARE(c.GL->value(), 2.5);
    c.GL->setValue(0);
    if (second == "current") {
      rec.iFile = 2;
      c.markAtCurrent->click();
    } else {
      c.Vconst->setValue(Vb);
      c.setConstant->click();
    }
    c.split->click();

    const std::vector<double> times = {0, 0.03, 0.06};  // s: Skip = 30
    const std::vector<ChartPoint> GEs = PointsIn(splitting.charts().conductance, "GE");
    const std::vector<ChartPoint> GIs = PointsIn(splitting.charts().conductance, "GI");
    QCOMPARE(GEs.size(), times.size());
    QCOMPARE(GIs.size(), times.size());
    for (std::size_t k = 0; k < times.size(); ++k) {
      QVERIFY2(std::abs(GEs[k].y - GE) < 1e-12 && std::abs(GIs[k].y - GI) < 1e-12, qPrintable(QString::number(k)));
      QCOMPARE(GEs[k].x, times[k]);
    }
    const std::string file = ReadWholeFile(app.session->dataDir / "Varnel_GE_GI.dat").value();
    const std::string line = "   0.000 " + Fixed(GE, 8, 3) + ' ' + Fixed(GI, 8, 3) + "  -60.000 " + Fixed(Vb, 8, 3);
    QCOMPARE(Text(file.substr(0, file.find('\r'))), Text(line));
    QCOMPARE(std::count(file.begin(), file.end(), '\n'), 3L);
    QVERIFY(app.parts().warningsWindow->Text().isEmpty());
  }

  // Nothing loaded: marking says so instead of marking an empty trace.
  void markingWithoutARecordingWarns() {
    StartedApp app;
    app::SplittingForm& splitting = *app.parts().splittingForm;
    splitting.controls().markAtZero->click();
    QVERIFY2(app.parts().warningsWindow->Text().contains("no recording is loaded"),
             qPrintable(app.parts().warningsWindow->Text()));
    QCOMPARE(splitting.marked().nV1, 0);
  }

  // A shift past the traces leaves nothing to split: the user is told, and no file is written.
  void splitWithoutOverlapSaysSo() {
    StartedApp app;
    Recording& rec = app.session->rec;
    rec.dt = 0.001;  // s
    rec.nFiles = 1;
    rec.traces[1].V.assign(61, -60);
    rec.traces[1].nLast = 60;
    const app::SplittingForm::Controls& c = app.window->findChild<app::SplittingForm*>()->controls();
    c.markAtZero->click();
    c.setConstant->click();
    c.timeShift->setValue(100);  // ms: 100 samples, the traces hold 61
    c.split->click();
    QVERIFY2(app.parts().warningsWindow->Text().contains("do not overlap at this time shift"),
             qPrintable(app.parts().warningsWindow->Text()));
    QVERIFY(!fs::exists(app.session->dataDir / "Varnel_GE_GI.dat"));
  }

  // Showing the tab puts the sweep's stimulus into the window of analysis
  // and plots it; a change of "End, ms" or "tau_filt, ms" keeps the window
  // at least 10 ms long and plots again.
  void lissajousWindowFollowsTheStimulusAndTheTenMillisecondRule() {
    AppWithSweeps app(1);
    const Recording& rec = app.session->rec;
    app::LissajousPage& page = *app.window->findChild<app::LissajousPage*>();
    const app::LissajousPage::Controls& c = page.controls();
    app.parts().pages->setCurrentWidget(&page);
    QCOMPARE(c.start->value(), rec.tOn);
    QCOMPARE(c.end->value(), rec.tOff);
    QVERIFY(rec.tOff - rec.tOn > 100);
    const auto plotted = [&] { return static_cast<int>(PointsIn(page.charts().current, "I vs. V").size()); };
    QCOMPARE(plotted(), SamplesInside(rec, 1, rec.tOn, rec.tOff));

    const struct {
      const char* name;
      double start, end, tau, expectedEnd;
    } cases[] = {{"end before start + 10", 300, 305, 1, 310},
                 {"end at start", 300, 300, 1, 310},
                 {"end well after start", 300, 500, 1, 500},
                 {"tau_filt changed after start moved", 495, 500, 2, 505}};
    for (const auto& k : cases) {
      c.end->setValue(500);
      c.start->setValue(k.start);
      if (k.tau != c.tau_filt->value()) {
        c.tau_filt->setValue(k.tau);
      } else {
        c.end->setValue(k.end);
      }
      QVERIFY2(c.end->value() == k.expectedEnd, k.name);
      QVERIFY2(plotted() == SamplesInside(rec, 1, k.start, k.expectedEnd), k.name);
    }
  }

  // The dI/dV chart is hidden until drawn; without a firing-clamp record it says why it is empty.
  void dIdVChartAppearsWhenDrawn() {
    AppWithSweeps app(1);
    app::LissajousPage& page = *app.window->findChild<app::LissajousPage*>();
    app.parts().pages->setCurrentWidget(&page);
    QVERIFY(!page.controls().dIdVPanel->isVisible());
    page.controls().dIdV->click();
    QVERIFY(page.controls().dIdVPanel->isVisible());
    QVERIFY2(app.parts().warningsWindow->Text().contains("dI/dV not drawn: no firing-clamp record covers sweep 1"),
             qPrintable(app.parts().warningsWindow->Text()));
  }
};

QTEST_MAIN(AnalysesTest)
#include "AnalysesTest.moc"
