// The runner of the window's actions on its own, without a main window:
// how an action that fails or warns is reported, and that the runner is
// free again afterwards.

#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <stdexcept>

#include "app/ActionRunner.h"
#include "app/WarningsWindow.h"

using namespace velmora;

namespace {

struct Runner {
  Session session;
  Settings settings;
  QLabel statusText;
  QProgressBar progress;
  QLabel statusPanel;
  app::WarningsWindow warningsWindow;
  int refreshes = 0;
  app::ActionRunner runner{session,     settings,       statusText, progress,
                           statusPanel, warningsWindow, [this] { ++refreshes; }};
};

}  // namespace

class ActionRunnerTest : public QObject {
  Q_OBJECT

 private slots:
  // An action that throws must neither end the program nor leave the runner
  // busy, which would refuse every later action; what it drew is shown.
  void throwingActionIsAWarningAndFreesTheRunner() {
    Runner r;
    const bool ran = r.runner.Run("Split conductances", 0, [] { throw std::runtime_error("disk full"); });
    QVERIFY(ran);
    QVERIFY(!r.runner.busy());
    QVERIFY2(r.warningsWindow.Text().contains("Split conductances: disk full"), qPrintable(r.warningsWindow.Text()));
    QCOMPARE(r.statusText.text(), QString("Split conductances: failed; see \"Form7: Warnings\""));
    QCOMPARE(r.refreshes, 1);
    QVERIFY(r.progress.isHidden());

    bool second = false;
    QVERIFY(r.runner.Run("Write", 0, [&] { second = true; }));
    QVERIFY(second);
    QCOMPARE(r.statusText.text(), QString("Write: done"));
  }

  // A run that warned did not simply succeed, and its warnings must not
  // make the next clean run look as if it had warned too.
  void warningsMarkOnlyTheRunThatGaveThem() {
    Runner r;
    r.runner.Run("F_I_curves", 3, [&] {
      r.runner.warnings().Status("F-I: sweep 1 of 3");
      r.runner.warnings().Status("F-I: sweep 2 of 3");
      QCOMPARE(r.progress.value(), 2);
      r.runner.warnings().Warn("steps02.dat: no spikes");
    });
    QCOMPARE(r.statusText.text(), QString("F_I_curves: ended with warnings; see \"Form7: Warnings\""));
    QVERIFY(r.warningsWindow.Text().contains("steps02.dat: no spikes"));

    r.runner.Run("SuperimposeV", 0, [] {});
    QCOMPARE(r.statusText.text(), QString("SuperimposeV: done"));
  }
};

QTEST_MAIN(ActionRunnerTest)
#include "ActionRunnerTest.moc"
