#include "app/EstimationsController.h"

#include <QPushButton>
#include <QString>
#include <functional>
#include <string_view>

#include "analyses/ExtracelStim.h"
#include "app/ActionRunner.h"
#include "app/ChartView.h"
#include "app/Conversions.h"
#include "app/CurrentWindow.h"
#include "app/EstimationsWindow.h"
#include "app/Windows.h"
#include "firingclamp/Averaging.h"
#include "firingclamp/EstimateFC.h"
#include "firingclamp/Pulses.h"
#include "actions/ReadAndDraw.h"

namespace velmora::app {

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

EstimationsController::EstimationsController(Session& session, Settings& settings, FieldBinder& mainFields,
                                             ActionRunner& runner, EstimationsWindow& estimationsWindow,
                                             CurrentWindow& currentWindow, QObject* parent)
    : QObject(parent),
      session_(session),
      settings_(settings),
      mainFields_(mainFields),
      runner_(runner),
      estimationsWindow_(estimationsWindow),
      currentWindow_(currentWindow) {
  estimationsWindow_.onAverage = [this] { Average(); };
  estimationsWindow_.onAnalytic = [this] { Analytic(); };
  currentWindow_.onFind = [this] { FindArtifacts(); };
}

// The file holds the times as the estimation wrote them, aligned already
// when "Align to stimuli" was ticked; the box is unticked while the file is
// read so that they are not aligned a second time.
void EstimationsController::Average() {
  runner_.Run("Average", 0, [this] {
    bool& align = settings_.draw.alignFC;
    const bool aligned = align;
    align = false;
    mainFields_.LoadAll();
    const OnExit restore([this, &align, aligned] {
      align = aligned;
      mainFields_.LoadAll();
    });
    Session& s = session_;
    // A missing or malformed file is reported by AverageFromFile itself.
    if (auto averaged = AverageFromFile(s.dataDir, s.rec.t0, settings_.estimations, s.approx.fitted.kind,
                                        s.rec.par.Vus, s.pulses, s.fcCharts.estimations, runner_.warnings()))
      s.averages = std::move(*averaged);
    estimationsWindow_.PlaceDrawnChart();  // the charts are drawn when the action ends
  });
}

void EstimationsController::Analytic() {
  runner_.Run("Analytic", 0, [this] {
    Session& s = session_;
    const Settings& settings = settings_;
    Pulses& p = s.pulses;
    if (p.nPulses < 1) {
      runner_.Warn("Analytic: there are no pulses to estimate from; analyse a firing-clamp recording first");
      return;
    }
    AnalyticEstimate(p, s.rec.par.FCPars.Ipos, runner_.warnings());
    // The membrane equation refers the voltages to VL, so the split and the drawing do too.
    const double Vus = p.VL;  // mV
    const std::vector<double>* stim = settings.draw.alignFC ? &s.StimTimes : nullptr;
    SplitConductances(p, settings.estimations, s.rec.par.StepPars.CmdScale, Vus, runner_.warnings());
    if (Status written = WriteEstimates(p, stim, s.dataDir); !written) runner_.Warn(FromError(written.error()));
    DrawEstimates(p, settings.estimations, s.approx.fitted.kind, Vus, stim, s.fcCharts.estimations);
    estimationsWindow_.PlaceDrawnChart();  // the charts are drawn when the action ends
  });
}

void EstimationsController::FindArtifacts() {
  ShowInFront(&currentWindow_);
  runner_.Run("Find stimulation artifacts", 0, [this] {
    QPushButton* find = currentWindow_.parts().find;
    find->setEnabled(false);
    const OnExit enable([this, find] {
      find->setEnabled(true);
      currentWindow_.LoadFields();  // the starting limit again
    });
    Session& s = session_;
    const Recording& rec = s.rec;
    const int slot = rec.iFile;
    if (rec.nFiles < 1 || slot < 1 || slot > rec.nFiles) {
      runner_.Warn("Find stimulation artifacts: no sweep is loaded; load a recording first");
      return;
    }
    LimitEcho echo(runner_.warnings(), currentWindow_);
    if (Status found = FindStimulationArtifacts(rec, slot, settings_.stim, s.StimTimes, s.charts.stimulus,
                                                StimFileOf(s, slot), echo);
        !found)
      runner_.Warn(FromError(found.error()));
  });
}

}  // namespace velmora::app
