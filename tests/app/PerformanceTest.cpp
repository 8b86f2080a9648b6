// How quickly the window answers: a full-length sweep drawn sample by
// sample, and the event loop during a long F-I run. The bounds are loose
// (the machine is shared); the measured times are printed for the record.

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include "AppFixture.h"
#include "app/HeapTuning.h"
#include "actions/ReadAndDraw.h"

using namespace velmora;
using namespace velmora::testing;
namespace fs = std::filesystem;

class PerformanceTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { app::KeepLargeBuffersInHeap(); }  // as the program starts

  // From the change of "Smpl" to the charts painted, for 900,001 samples
  // drawn with Skip = 1 (560,000 points per trace), text and binary traces.
  void readAndDrawOfAFullSweepWithSkip1() {
    for (const bool binary : {true, false}) {
      StartedApp app;
      const fs::path data = app.home / "long";
      WriteSteps(data, 2, 45000, false, binary);  // 20 kHz: samples 0..900,000
      QVERIFY(app.window->SetDataDirectory(QString::fromStdString(data.string())));
      SelectAndLoad(*app.window, 2);
      QVERIFY(app.session->rec.traces.nLast(2) >= 899999);  // the loader may keep one sample less than recorded
      app.parts().Skip->setValue(1);
      // The first draw with Skip = 1 touches its buffers for the first
      // time; the next ones reuse them.
      qint64 ms[2] = {0, 0};
      for (const int slot : {2, 1}) {
        QElapsedTimer clock;
        clock.start();
        app.parts().Smpl->setValue(slot);
        app.window->repaint();
        ms[slot == 2 ? 0 : 1] = clock.elapsed();
        QCOMPARE(app.session->rec.iFile, slot);
      }
      QCOMPARE(app.session->charts.voltage.series[0].points.size(), std::size_t{560000});
      qInfo("read-and-draw of 900,001 samples, Skip = 1, %s trace: %lld ms the first time, %lld ms the next",
            binary ? "binary" : "text", ms[0], ms[1]);
      // Where the time goes: the core's read, filter, draw and detection, then the views.
      QElapsedTimer part;
      part.start();
      NullSink sink;
      Settings settings = app.window->settings();
      QVERIFY(ReadAndDraw(*app.session, static_cast<int>(settings.Smpl), settings, sink));
      const qint64 coreMs = part.restart();
      app.parts().voltage->Refresh();
      app.parts().current->Refresh();
      app.window->repaint();
      qInfo("of which the core %lld ms, the two charts %lld ms", coreMs, part.elapsed());
      QVERIFY2(ms[1] < 3000, qPrintable(QString::number(ms[1])));
    }
  }

  // The longest time the event loop waits during an F-I run over 50 sweeps.
  void eventLoopAnswersDuringAnFiRunOver50Sweeps() {
    StartedApp app;
    const fs::path data = app.home / "fifty";
    WriteSteps(data, 50);
    QVERIFY(app.window->SetDataDirectory(QString::fromStdString(data.string())));
    SelectAndLoad(*app.window, 50);
    QCOMPARE(app.session->rec.nFiles, 50);
    QElapsedTimer sinceTick;
    qint64 longest = 0;
    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(5);
    connect(&ticker, &QTimer::timeout, [&] {
      if (ticks++ > 0) longest = std::max(longest, sinceTick.elapsed());
      sinceTick.restart();
    });
    sinceTick.start();
    ticker.start();
    QElapsedTimer run;
    run.start();
    app.window->FICurvesRun();
    const qint64 total = run.elapsed();
    ticker.stop();
    qInfo("F-I run over 50 sweeps: %lld ms, %d timer ticks, longest event-loop wait %lld ms", total, ticks, longest);
    QVERIFY(ticks > 1);
    QVERIFY2(longest < 500, qPrintable(QString::number(longest)));
  }
};

QTEST_MAIN(PerformanceTest)
#include "PerformanceTest.moc"
