// "Form13: Statistics", "Form8: Varnel's method of splitting conductances"
// and the "Lissajous" tab: each action gathers its settings, calls the core
// on the sweep shown and hands the charts to the views.

#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <cmath>
#include <string>

#include "analyses/Lissajous.h"
#include "analyses/Splitting.h"
#include "actions/LoadedData.h"
#include "actions/StatisticsRun.h"
#include "app/ChartView.h"
#include "app/Conversions.h"
#include "app/LissajousPage.h"
#include "app/MainWindow.h"
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

struct MainWindow::AnalysesUi : QObject {
  explicit AnalysesUi(MainWindow& window) : QObject(&window), w(window) {}

  MainWindow& w;
  LissajousPage* lissajous = nullptr;
  StatisticsForm* statistics = nullptr;
  SplittingForm* splitting = nullptr;

  const Recording& rec() const { return w.session_.rec; }

  void DrawLissajous() {
    w.Run("Lissajous", 0, [this] {
      if (!w.Loaded("Lissajous")) return;
      velmora::DrawLissajous(rec(), rec().iFile, w.session_.FC, lissajous->settings(), lissajous->charts());
    });
  }

  void OnLissajousShown() {
    lissajous->SetWindow(rec().tOn, rec().tOff);
    // A page turned by the firing-clamp driver in the middle of its run gets
    // its window but no drawing, which the running action would refuse.
    // With nothing loaded the page is only turned to: nothing to warn of.
    if (!w.busy() && !NothingLoaded(w.session_, w.settings_.format)) DrawLissajous();
  }

  void DrawDIdV() {
    w.Run("Draw dI/dV", 0, [this] {
      if (!w.Loaded("Draw dI/dV")) return;
      velmora::DrawDIdV(rec(), rec().iFile, w.session_.FC, lissajous->settings(), lissajous->charts(), w.warnings());
      lissajous->ShowDrawnCharts();
    });
  }

  void RunStatistics() {
    StatisticsSettings settings = statistics->settings();
    settings.nPointer = Whole(w.settings_.nPointer);
    settings.StatDrawStep = Whole(w.settings_.nDraw);
    StatisticsWindow& shown = statistics->shown();
    FrameSink sink(w.warnings());
    NullSink early;  // a frame before the spread builds up would only warn of it
    QElapsedTimer sinceFrame;
    sinceFrame.start();
    AnalyzeStatistics(w.session_, rec().iFile, settings, shown, sink, [&](const StatisticsState& st) {
      // What a frame drew must not outlive it: the pass's last redraw, which
      // may have no tau or no bars, is all the window keeps.
      shown.tauText = " tau= ";
      ClearAllSeries(shown.histogram);
      if (sinceFrame.elapsed() < kFrameInterval) return;
      DrawStatistics(st, shown, early);
      statistics->Refresh();
      w.parts_.statusText->setText(QString::fromStdString(sink.time));
      w.parts_.voltage->Refresh();
      w.parts_.current->Refresh();
      QCoreApplication::processEvents();
      sinceFrame.restart();  // after the drawing, so that slow charts cannot starve the pass
    });
    statistics->Refresh();
  }

  int PlotStep() const { return Whole(w.settings_.Skip); }

  void DrawMarked() {
    DrawMarkedTraces(splitting->marked(), splitting->settings(), rec().dt, PlotStep(), splitting->charts().voltage);
  }

  void SmoothAndDraw() {
    SmoothMarkedTraces(splitting->marked(), splitting->settings());
    DrawMarked();
  }

  // A marking button: the sweep shown becomes one of the two traces.
  void Mark(const QString& name, void (*mark)(SplittingForm&, const Recording&, int)) {
    w.Run(name, 0, [&] {
      if (rec().nFiles < 1) {
        w.Warn(name + ": no recording is loaded; load one first");
        return;
      }
      mark(*splitting, rec(), rec().iFile);
      splitting->controls().GL->Load();
      SmoothAndDraw();
    });
  }

  void Split() {
    w.Run("Split conductances", 0, [this] {
      const auto split = SplitFromTwoTraces(splitting->marked(), splitting->settings(), rec().dt, PlotStep(),
                                            splitting->charts(), w.session_.dataDir);
      if (!split)
        w.Warn(FromError(split.error()));
      else if (*split == 0)
        w.Warn("Split conductances: the two traces do not overlap at this time shift; nothing was written");
    });
  }
};

QWidget* MainWindow::BuildLissajousPage() {
  analysesUi_ = new AnalysesUi(*this);
  AnalysesUi& ui = *analysesUi_;
  ui.lissajous = new LissajousPage;
  const LissajousPage::Controls& c = ui.lissajous->controls();
  connect(c.lissajous, &QPushButton::clicked, this, [&ui] { ui.DrawLissajous(); });
  connect(c.dIdV, &QPushButton::clicked, this, [&ui] { ui.DrawDIdV(); });
  ui.lissajous->onWindowChanged = [&ui] { ui.DrawLissajous(); };
  connect(c.adjust, &QPushButton::clicked, this, [this, &ui] {
    if (!fcTimeView_) return;
    AdoptTimeAxis(ui.lissajous->charts().dIdV, *fcTimeView_);
    ui.lissajous->controls().dIdVView->Refresh();
  });
  otherViews_ << c.current << c.phase << c.dIdVView;
  return ui.lissajous;
}

void MainWindow::CreateAnalysisWindows() {
  AnalysesUi& ui = *analysesUi_;
  form13_ = ui.statistics = new StatisticsForm(this);
  otherViews_ << ui.statistics->histogramView() << ui.statistics->correlationView();

  form8_ = ui.splitting = new SplittingForm(this);
  const SplittingForm::Controls& c = ui.splitting->controls();
  otherViews_ << c.voltage << c.conductance;
  connect(c.markAtZero, &QPushButton::clicked, this, [&ui] {
    ui.Mark("Mark the current trace as a trace at 0-current", [](SplittingForm& f, const Recording& rec, int slot) {
      MarkTraceAtZeroCurrent(f.marked(), f.settings(), rec, slot);
    });
  });
  connect(c.markAtCurrent, &QPushButton::clicked, this, [&ui] {
    ui.Mark("Mark the current trace as a trace at the following current",
            [](SplittingForm& f, const Recording& rec, int slot) { MarkTraceAtCurrent(f.marked(), rec, slot); });
  });
  connect(c.setConstant, &QPushButton::clicked, this, [this, &ui] {
    Run("Set constant voltage", 0, [&ui] {
      SetConstantVoltage(ui.splitting->marked(), ui.splitting->settings());
      ui.SmoothAndDraw();
    });
  });
  connect(c.split, &QPushButton::clicked, this, [&ui] { ui.Split(); });
  c.timeShift->onChanged = [this, &ui] { Run("time shift", 0, [&ui] { ui.DrawMarked(); }); };
  c.filterWeight->onChanged = c.iterations->onChanged = [this, &ui] {
    Run("Smoothing the marked traces", 0, [&ui] { ui.SmoothAndDraw(); });
  };

  // Shown: the window of analysis becomes the sweep's stimulus, and the plots follow.
  connect(parts_.pages, &QTabWidget::currentChanged, this, [this, &ui](int page) {
    if (parts_.pages->widget(page) == ui.lissajous) ui.OnLissajousShown();
  });
  // Another sweep shown while the tab is open is plotted too. The sweep
  // selector's own handler, connected first, has read and drawn it by now.
  connect(parts_.Smpl->spin(), &QDoubleSpinBox::valueChanged, this, [this, &ui] {
    if (parts_.pages->currentWidget() == ui.lissajous && !busy()) ui.DrawLissajous();
  });
}

void MainWindow::ClearAnalysisViews() {
  LissajousCharts& lissajous = analysesUi_->lissajous->charts();
  for (Chart* c : {&lissajous.current, &lissajous.phase, &lissajous.dIdV}) ClearAllSeries(*c);
  StatisticsWindow& statistics = analysesUi_->statistics->shown();
  ClearAllSeries(statistics.histogram);
  ClearAllSeries(statistics.correlation);
  const StatisticsWindow blank;
  statistics.meanText = blank.meanText, statistics.dispersionText = blank.dispersionText;
  statistics.tauText = blank.tauText;
  analysesUi_->statistics->Refresh();
}

void MainWindow::AnalyzeStatisticsRun() {
  ShowInFront(form13_);
  Run("Analize Statistics", 0, [this] {
    if (Loaded("Analize Statistics")) analysesUi_->RunStatistics();
  });
}

}  // namespace velmora::app
