#include <QPushButton>
#include <QString>
#include <filesystem>
#include <functional>
#include <string_view>

#include "analyses/ExtracelStim.h"
#include "app/ChartView.h"
#include "app/Conversions.h"
#include "app/CurrentWindow.h"
#include "app/EstimationsWindow.h"
#include "app/MainWindow.h"
#include "app/Windows.h"
#include "firingclamp/Averaging.h"
#include "firingclamp/EstimateFC.h"
#include "firingclamp/Pulses.h"
#include "actions/ReadAndDraw.h"

namespace velmora::app {

namespace fs = std::filesystem;

namespace {

// Runs `undo` when the scope ends, also when an analysis throws out of it:
// a box unticked or a button disabled for the length of an action must not
// stay so.
class OnExit {
 public:
  explicit OnExit(std::function<void()> undo) : undo_(std::move(undo)) {}
  ~OnExit() { undo_(); }
  OnExit(const OnExit&) = delete;
  OnExit& operator=(const OnExit&) = delete;

 private:
  std::function<void()> undo_;
};

// Passes everything on, and shows each limit the artefact search tries in
// "ddI_limit" as it goes.
class LimitEcho : public WarningSink {
 public:
  LimitEcho(WarningSink& next, CurrentWindow& window) : next_(next), window_(window) {}
  void Warn(std::string_view message) override { next_.Warn(message); }
  void Status(std::string_view text) override {
    constexpr std::string_view kLimit = "ddI_limit = ";
    if (text.starts_with(kLimit)) {
      bool ok = false;
      const double L = QString::fromUtf8(text.substr(kLimit.size())).toDouble(&ok);
      if (ok) window_.ShowTriedLimit(L);
    }
    next_.Status(text);
  }

 private:
  WarningSink& next_;
  CurrentWindow& window_;
};

}  // namespace

struct MainWindow::EstimationsUi : QObject {
  explicit EstimationsUi(MainWindow& w) : QObject(&w), window(w) {}

  void Average();
  void Analytic();
  void FindArtifacts();

  MainWindow& window;
  EstimationsWindow* form5 = nullptr;
  CurrentWindow* form6 = nullptr;
};

void MainWindow::CreateEstimationWindows() {
  estimationsUi_ = new EstimationsUi(*this);
  EstimationsUi& ui = *estimationsUi_;
  // The firing-clamp tab may set its view after these windows are made.
  const auto fcTime = [this]() -> const ChartView* { return fcTimeView_; };
  ui.form5 = new EstimationsWindow(session_.fcCharts.estimations, settings_, fcTime, this);
  ui.form5->onAverage = [&ui] { ui.Average(); };
  ui.form5->onAnalytic = [&ui] { ui.Analytic(); };
  ui.form6 = new CurrentWindow(
      session_.charts.stimulus, settings_, [this]() -> const ChartView* { return parts_.current; }, fcTime, this);
  ui.form6->onFind = [&ui] { ui.FindArtifacts(); };
  form5_ = ui.form5;
  form6_ = ui.form6;
  form6View_ = ui.form6->parts().view;
  otherViews_.append(ui.form5->views());
  otherViews_.append(form6View_);
}

// The file holds the times as the estimation wrote them, aligned already
// when "Align to stimuli" was ticked; the box is unticked while the file is
// read so that they are not aligned a second time.
void MainWindow::EstimationsUi::Average() {
  MainWindow& w = window;
  w.Run("Average", 0, [&w, this] {
    bool& align = w.settings_.draw.alignFC;
    const bool aligned = align;
    align = false;
    w.fields_.LoadAll();
    const OnExit restore([&w, &align, aligned] {
      align = aligned;
      w.fields_.LoadAll();
    });
    Session& s = w.session_;
    // A missing or malformed file is reported by AverageFromFile itself.
    if (auto averaged = AverageFromFile(s.dataDir, s.rec.t0, w.settings_.estimations, s.approx.fitted.kind,
                                        s.rec.par.Vus, s.pulses, s.fcCharts.estimations, w.warnings()))
      s.averages = std::move(*averaged);
    form5->PlaceDrawnChart();  // the charts are drawn when the action ends
  });
}

void MainWindow::EstimationsUi::Analytic() {
  MainWindow& w = window;
  w.Run("Analytic", 0, [&w, this] {
    Session& s = w.session_;
    const Settings& settings = w.settings_;
    Pulses& p = s.pulses;
    if (p.nPulses < 1) {
      w.Warn("Analytic: there are no pulses to estimate from; analyse a firing-clamp recording first");
      return;
    }
    AnalyticEstimate(p, s.rec.par.FCPars.Ipos, w.warnings());
    // The membrane equation refers the voltages to VL, so the split and the drawing do too.
    const double Vus = p.VL;  // mV
    const std::vector<double>* stim = settings.draw.alignFC ? &s.StimTimes : nullptr;
    SplitConductances(p, settings.estimations, s.rec.par.StepPars.CmdScale, Vus, w.warnings());
    if (Status written = WriteEstimates(p, stim, s.dataDir); !written) w.Warn(FromError(written.error()));
    DrawEstimates(p, settings.estimations, s.approx.fitted.kind, Vus, stim, s.fcCharts.estimations);
    form5->PlaceDrawnChart();  // the charts are drawn when the action ends
  });
}

void MainWindow::EstimationsUi::FindArtifacts() {
  MainWindow& w = window;
  ShowInFront(form6);
  w.Run("Find stimulation artifacts", 0, [&w, this] {
    QPushButton* find = form6->parts().find;
    find->setEnabled(false);
    const OnExit enable([this, find] {
      find->setEnabled(true);
      form6->LoadFields();  // the starting limit again
    });
    Session& s = w.session_;
    const Recording& rec = s.rec;
    const int slot = rec.iFile;
    if (rec.nFiles < 1 || slot < 1 || slot > rec.nFiles) {
      w.Warn("Find stimulation artifacts: no sweep is loaded; load a recording first");
      return;
    }
    LimitEcho echo(w.warnings(), *form6);
    if (Status found = FindStimulationArtifacts(rec, slot, w.settings_.stim, s.StimTimes, s.charts.stimulus,
                                                StimFileOf(s, slot), echo);
        !found)
      w.Warn(FromError(found.error()));
  });
}

}  // namespace velmora::app
