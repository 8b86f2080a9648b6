#include "app/AnalysesController.h"

#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTabWidget>
#include <cmath>
#include <string>

#include "analyses/Lissajous.h"
#include "analyses/Splitting.h"
#include "actions/LoadedData.h"
#include "actions/StatisticsRun.h"
#include "app/ActionRunner.h"
#include "app/ChartView.h"
#include "app/Conversions.h"
#include "app/LissajousPage.h"
#include "app/SplittingForm.h"
#include "app/StatisticsForm.h"
#include "app/Windows.h"

namespace velmora::app {

namespace {

constexpr qint64 kFrameInterval = 33;  // ms: about 30 frames a second while the statistics run

// The pass reports its time at every redraw due, every 10 samples: some
// 90,000 times over a long sweep. The window shows the latest once a frame.
class FrameSink : public WarningSink {
 public:
  explicit FrameSink(WarningSink& warnings) : warnings_(warnings) {}
  void Warn(std::string_view message) override { warnings_.Warn(message); }
  void Status(std::string_view text) override { time.assign(text); }

  std::string time;  // "t=" and the time of the last redraw due

 private:
  WarningSink& warnings_;
};

// An integer setting of the main window, as the analyses take it.
int Whole(double field) { return static_cast<int>(std::trunc(field)); }

}  // namespace

AnalysesController::AnalysesController(Session& session, const Settings& settings, ActionRunner& runner,
                                       const Views& views, QObject* parent)
    : QObject(parent), session_(session), settings_(settings), runner_(runner), views_(views) {
  ConnectLissajousPage();
  ConnectSplittingForm();
}

void AnalysesController::ConnectLissajousPage() {
  LissajousPage& page = views_.lissajousPage;
  const LissajousPage::Controls& c = page.controls();
  connect(c.lissajous, &QPushButton::clicked, this, [this] { DrawLissajous(); });
  connect(c.dIdV, &QPushButton::clicked, this, [this] { DrawDIdV(); });
  page.onWindowChanged = [this] { DrawLissajous(); };
  connect(c.adjust, &QPushButton::clicked, this, [this] {
    AdoptTimeAxis(views_.lissajousPage.charts().dIdV, views_.fcTime);
    views_.lissajousPage.controls().dIdVView->Refresh();
  });
  // Shown: the window of analysis becomes the sweep's stimulus, and the plots follow.
  connect(&views_.pages, &QTabWidget::currentChanged, this, [this](int index) {
    if (views_.pages.widget(index) == &views_.lissajousPage) OnLissajousShown();
  });
  // Another sweep shown while the tab is open is plotted too. The sweep
  // selector's own handler, connected first, has read and drawn it by now.
  connect(views_.Smpl.spin(), &QDoubleSpinBox::valueChanged, this, [this] {
    if (views_.pages.currentWidget() == &views_.lissajousPage && !runner_.busy()) DrawLissajous();
  });
}

void AnalysesController::ConnectSplittingForm() {
  const SplittingForm::Controls& c = views_.splittingForm.controls();
  connect(c.markAtZero, &QPushButton::clicked, this, [this] {
    Mark("Mark the current trace as a trace at 0-current", [](SplittingForm& f, const Recording& rec, int slot) {
      f.settings().GL = MarkTraceAtZeroCurrent(f.marked(), rec, slot);
    });
  });
  connect(c.markAtCurrent, &QPushButton::clicked, this, [this] {
    Mark("Mark the current trace as a trace at the following current",
         [](SplittingForm& f, const Recording& rec, int slot) { MarkTraceAtCurrent(f.marked(), rec, slot); });
  });
  connect(c.setConstant, &QPushButton::clicked, this, [this] {
    runner_.Run("Set constant voltage", 0, [this] {
      SetConstantVoltage(views_.splittingForm.marked(), views_.splittingForm.settings());
      SmoothAndDraw();
    });
  });
  connect(c.split, &QPushButton::clicked, this, [this] { Split(); });
  c.timeShift->onChanged = [this] { runner_.Run("time shift", 0, [this] { DrawMarked(); }); };
  c.filterWeight->onChanged = c.iterations->onChanged = [this] {
    runner_.Run("Smoothing the marked traces", 0, [this] { SmoothAndDraw(); });
  };
}

void AnalysesController::DrawLissajous() {
  runner_.Run("Lissajous", 0, [this] {
    if (!runner_.Loaded("Lissajous")) return;
    LissajousPage& page = views_.lissajousPage;
    velmora::DrawLissajous(rec(), rec().iFile, session_.FC, page.settings(), page.charts());
  });
}

void AnalysesController::OnLissajousShown() {
  views_.lissajousPage.SetWindow(rec().tOn, rec().tOff);
  // A page turned by the firing-clamp driver in the middle of its run gets
  // its window but no drawing, which the running action would refuse.
  // With nothing loaded the page is only turned to: nothing to warn of.
  if (!runner_.busy() && !NothingLoaded(session_, settings_.format)) DrawLissajous();
}

void AnalysesController::DrawDIdV() {
  runner_.Run("Draw dI/dV", 0, [this] {
    if (!runner_.Loaded("Draw dI/dV")) return;
    LissajousPage& page = views_.lissajousPage;
    velmora::DrawDIdV(rec(), rec().iFile, session_.FC, page.settings(), page.charts(), runner_.warnings());
    page.ShowDrawnCharts();
  });
}

void AnalysesController::AnalyzeStatistics() {
  ShowInFront(&views_.statisticsForm);
  runner_.Run("Analize Statistics", 0, [this] {
    if (runner_.Loaded("Analize Statistics")) RunStatistics();
  });
}

void AnalysesController::RunStatistics() {
  StatisticsForm& form = views_.statisticsForm;
  StatisticsSettings settings = form.settings();
  settings.nPointer = Whole(settings_.nPointer);
  settings.StatDrawStep = Whole(settings_.nDraw);
  StatisticsWindow& shown = form.shown();
  FrameSink sink(runner_.warnings());
  NullSink early;  // a frame before the spread builds up would only warn of it
  QElapsedTimer sinceFrame;
  sinceFrame.start();
  velmora::AnalyzeStatistics(session_, rec().iFile, settings, shown, sink, [&](const StatisticsState& st) {
    // What a frame drew must not outlive it: the pass's last redraw, which
    // may have no tau or no bars, is all the window keeps.
    shown.tauText = " tau= ";
    ClearAllSeries(shown.histogram);
    if (sinceFrame.elapsed() < kFrameInterval) return;
    DrawStatistics(st, shown, early);
    form.Refresh();
    runner_.ShowStatus(QString::fromStdString(sink.time));
    views_.voltage.Refresh();
    views_.current.Refresh();
    QCoreApplication::processEvents();
    sinceFrame.restart();  // after the drawing, so that slow charts cannot starve the pass
  });
  form.Refresh();
}

void AnalysesController::ClearViews() {
  LissajousCharts& lissajous = views_.lissajousPage.charts();
  for (Chart* c : {&lissajous.current, &lissajous.phase, &lissajous.dIdV}) ClearAllSeries(*c);
  StatisticsWindow& statistics = views_.statisticsForm.shown();
  ClearAllSeries(statistics.histogram);
  ClearAllSeries(statistics.correlation);
  const StatisticsWindow blank;
  statistics.meanText = blank.meanText, statistics.dispersionText = blank.dispersionText;
  statistics.tauText = blank.tauText;
  views_.statisticsForm.Refresh();
}

int AnalysesController::PlotStep() const { return Whole(settings_.Skip); }

void AnalysesController::DrawMarked() {
  SplittingForm& form = views_.splittingForm;
  DrawMarkedTraces(form.marked(), form.settings(), rec().dt, PlotStep(), form.charts().voltage);
}

void AnalysesController::SmoothAndDraw() {
  SmoothMarkedTraces(views_.splittingForm.marked(), views_.splittingForm.settings());
  DrawMarked();
}

void AnalysesController::Mark(const QString& name, void (*mark)(SplittingForm&, const Recording&, int)) {
  runner_.Run(name, 0, [&] {
    if (rec().nFiles < 1) {
      runner_.Warn(name + ": no recording is loaded; load one first");
      return;
    }
    mark(views_.splittingForm, rec(), rec().iFile);
    views_.splittingForm.controls().GL->Load();
    SmoothAndDraw();
  });
}

void AnalysesController::Split() {
  runner_.Run("Split conductances", 0, [this] {
    SplittingForm& form = views_.splittingForm;
    const auto split =
        SplitFromTwoTraces(form.marked(), form.settings(), rec().dt, PlotStep(), form.charts(), session_.dataDir);
    if (!split)
      runner_.Warn(FromError(split.error()));
    else if (*split == 0)
      runner_.Warn("Split conductances: the two traces do not overlap at this time shift; nothing was written");
  });
}

}  // namespace velmora::app
