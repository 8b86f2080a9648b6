// The example data as a new user meets it: the firing-clamp calibration and
// estimation directories clicked through in the program with its defaults,
// nothing changed but the choice of mode, must recover the I and G that the
// model cell's clamp applied.

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "FiringClampFixture.h"
#include "app/FiringClampPage.h"
#include "app/HeapTuning.h"
#include "support/PulseAccuracy.h"
#include "actions/FiringClampRun.h"

using namespace velmora;
using namespace velmora::testing;
namespace fs = std::filesystem;

namespace {

// The applied I and G of the recording, sampled every `step` ms from time 0.
struct AppliedSeries {
  double step = 0;  // ms
  std::vector<double> I, G;
};

AppliedSeries ReadGroundTruth(const fs::path& dir) {
  QFile file(QString::fromStdString((dir / "GroundTruth.json").string()));
  if (!file.open(QIODevice::ReadOnly)) qFatal("cannot read %s", qPrintable(file.fileName()));
  const QJsonObject series = QJsonDocument::fromJson(file.readAll())
                                 .object()["sweeps"]
                                 .toArray()
                                 .first()
                                 .toObject()["series"]
                                 .toObject();
  AppliedSeries truth;
  truth.step = series["step"].toDouble();
  for (const QJsonValue v : series["I"].toArray()) truth.I.push_back(v.toDouble());
  for (const QJsonValue v : series["G"].toArray()) truth.G.push_back(v.toDouble());
  return truth;
}

}  // namespace

class ExampleDataTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { app::KeepLargeBuffersInHeap(); }

  // A calibration recorded with another set-up than the recording, or spikes
  // that the default flaw threshold rejects, gave estimates far off (I
  // 176 pA against 10 pA) or none at all.
  void firingClampPairWithDefaultsRecoversIAndG() {
    StartedApp app;
    NullSink sink;
    const fs::path example = app.home / "example";
    QVERIFY(WriteDemoDataSet({}, example, sink));
    const fs::path calibration = example / "fc_calibration", estimation = example / "fc_estimation";
    app::FiringClampPage* page = app.window->parts().firingClampPage;

    QVERIFY(app.window->SetDataDirectory(QString::fromStdString(calibration.string())));
    page->calibrate()->click();
    SelectAllAndLoad(*app.window);
    const Session& session = *app.session;
    QCOMPARE(session.rec.nFiles, 20);
    // Fifteen pulses of every sweep: only the first period of each, where
    // the clamp settles, is a flaw, not the model cell's steep spikes.
    QCOMPARE(LinesOf(calibration / kCalibrationFileName), 20 * 15);

    fs::copy_file(calibration / kCalibrationFileName, estimation / kCalibrationFileName);
    QVERIFY(app.window->SetDataDirectory(QString::fromStdString(estimation.string())));
    page->approximate()->click();
    SelectAllAndLoad(*app.window);

    const AppliedSeries truth = ReadGroundTruth(estimation);
    const PulseAccuracy a = ComparePulsesWithApplied(session.pulses, truth.I, truth.G, truth.step);
    qInfo("example estimation: %d pulses compared, %d flaws; RMS error I %.2f pA of %.1f (%.1f %%), G %.3f nS of "
          "%.2f (%.1f %%)",
          a.nCompared, session.pulses.nFlaws, a.rmsI, a.rangeI, 100 * a.rmsI / a.rangeI, a.rmsG, a.rangeG,
          100 * a.rmsG / a.rangeG);
    QVERIFY(a.nCompared > 100);
    QVERIFY(std::abs(a.rangeI - 200) < 10);  // pA
    QVERIFY(std::abs(a.rangeG - 10) < 0.5);  // nS
    QVERIFY2(a.rmsI / a.rangeI < 0.06, qPrintable(QString::number(a.rmsI)));
    QVERIFY2(a.rmsG / a.rangeG < 0.20, qPrintable(QString::number(a.rmsG)));
  }
};

QTEST_MAIN(ExampleDataTest)
#include "ExampleDataTest.moc"
