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
#include "actions/FiringClampRun.h"

using namespace velmora;
using namespace velmora::testing;
namespace fs = std::filesystem;

namespace {

int LinesOf(const fs::path& file) {
  std::ifstream in(file);
  int n = 0;
  for (std::string line; std::getline(in, line);) ++n;
  return n;
}

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

struct Accuracy {
  int nCompared = 0;
  double rmsI = 0, rmsG = 0;      // pA, nS
  double rangeI = 0, rangeG = 0;  // pA, nS
};

// Each estimated pulse against the mean of the applied I and G over the
// 20 Hz meander period that ends at it: what acted on the cell while the
// pulse's z values were formed. The regression leaves the first pulse out.
Accuracy Compare(const Pulses& p, const AppliedSeries& truth) {
  Accuracy a;
  const int period = static_cast<int>(std::lround(50 / truth.step));
  double Imin = 1e9, Imax = -1e9, Gmin = 1e9, Gmax = -1e9;
  for (int j = 2; j <= p.nPulses; ++j) {
    const int end = static_cast<int>(std::lround(p.tPulse[j] / truth.step));
    if (end - period < 0 || end >= static_cast<int>(truth.I.size())) continue;
    double I = 0, G = 0;
    for (int k = end - period + 1; k <= end; ++k) I += truth.I[k], G += truth.G[k];
    I /= period, G /= period;
    a.rmsI += (p.Iest[j] - I) * (p.Iest[j] - I);
    a.rmsG += (p.Gest[j] - G) * (p.Gest[j] - G);
    Imin = std::min(Imin, I), Imax = std::max(Imax, I);
    Gmin = std::min(Gmin, G), Gmax = std::max(Gmax, G);
    ++a.nCompared;
  }
  if (a.nCompared == 0) return a;
  a.rmsI = std::sqrt(a.rmsI / a.nCompared), a.rmsG = std::sqrt(a.rmsG / a.nCompared);
  a.rangeI = Imax - Imin, a.rangeG = Gmax - Gmin;
  return a;
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
    app::FiringClampPage* page = app.window->firingClampPage();

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

    const Accuracy a = Compare(session.pulses, ReadGroundTruth(estimation));
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
