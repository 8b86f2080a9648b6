#include "app/FiringClampController.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <algorithm>
#include <filesystem>
#include <optional>

#include "app/ApproximatePage.h"
#include "app/ActionRunner.h"
#include "app/ChartView.h"
#include "app/Conversions.h"
#include "app/CurrentWindow.h"
#include "app/FileListWindow.h"
#include "app/FiringClampPage.h"
#include "app/LatticeView.h"
#include "app/ParametersWindow.h"
#include "app/Windows.h"
#include "actions/FiringClampRun.h"
#include "firingclamp/Lattice.h"
#include "recording/ParameterFile.h"

namespace velmora::app {

namespace fs = std::filesystem;

namespace {

// The driver's steps also go to the tab's "Status" label as they happen.
class StatusLabelSink : public WarningSink {
 public:
  StatusLabelSink(WarningSink& to, FiringClampPage& page) : to_(to), page_(page) {}
  void Warn(std::string_view message) override { to_.Warn(message); }
  void Status(std::string_view text) override {
    page_.SetStatus(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
    to_.Status(text);
  }

 private:
  WarningSink& to_;
  FiringClampPage& page_;
};

}  // namespace

FiringClampController::FiringClampController(Session& session, Settings& settings, ActionRunner& runner,
                                             const Views& views, Requests requests, QObject* parent)
    : QObject(parent),
      session_(session),
      settings_(settings),
      runner_(runner),
      views_(views),
      requests_(std::move(requests)) {
  ConnectFiringClampPage();
  ConnectApproximatePage();
}

void FiringClampController::ConnectFiringClampPage() {
  FiringClampPage& page = views_.page;
  connect(page.eraseCalibration(), &QPushButton::clicked, this, [this] {
    // The calibration points of every recording analysed so far are in that file.
    const fs::path file = session_.dataDir / kCalibrationFileName;
    std::error_code ec;
    if (fs::exists(file, ec) &&
        !requests_.askToConfirm("Erase calibration",
                                QString("Erase the calibration file %1? Its points cannot be restored.")
                                    .arg(QString::fromStdString(file.string()))))
      return;
    EraseCalibration();
  });
  connect(page.writeInputIG(), &QPushButton::clicked, this, &FiringClampController::WriteInputIG);
  connect(page.adjustScales(), &QPushButton::clicked, this, [this] {
    // The partner is the chart of "Form6: current".
    views_.currentWindow.show();
    AdoptTimeAxis(session_.fcCharts.time, *views_.currentWindow.parts().view);
    views_.page.timeView()->Refresh();
  });
}

void FiringClampController::ConnectApproximatePage() {
  ApproximatePage& page = views_.approximatePage;
  connect(page.approximate(), &QPushButton::clicked, this, &FiringClampController::Approximate);
  connect(page.drawVersusTrue(), &QPushButton::clicked, this, &FiringClampController::DrawApproximatedVersusTrue);
  connect(page.drawLattices(), &QPushButton::clicked, this, [this] { DrawLattices(false); });
  connect(page.rescale(), &QPushButton::clicked, this, [this] { DrawLattices(true); });
  connect(page.write(), &QPushButton::clicked, this, &FiringClampController::WriteLattices);
  for (NumberField* f : page.precisionFields()) f->onChanged = [this] { LoadSelectedRecordings(); };
  for (NumberField* f : page.analyticFields())
    f->onChanged = [this] {
      // The settings step of the firing-clamp analysis, as loading the sweep
      // does it; a run in progress reads the fields again at its next file.
      Recording& rec = session_.rec;
      if (runner_.busy() || rec.nFiles < 1 || rec.par.FiringClampOn != 1) return;
      ReadFCSettings(rec.par, settings_.load.lost, settings_.fc, session_.pulses, runner_.warnings());
      views_.page.ShowState();
    };
}

void FiringClampController::LoadSelectedRecordings() {
  const std::vector<int> selected = views_.fileList.Selected();
  if (selected.empty()) return;
  runner_.Run("Loading the selected recordings", 0, [this, &selected] {
    runner_.ShowBusy(true);
    QCoreApplication::processEvents();
    StatusLabelSink sink(runner_.warnings(), views_.page);
    auto run = FiringClampDriver(session_, settings_, selected, sink,
                                 static_cast<MainPage>(views_.pages.currentIndex()), requests_.shownWindows());
    if (!run) runner_.Warn(FromError(run.error()));
    if (run)
      for (const FiringClampFile& f : run->files)
        if (NothingEstimated(f))
          runner_.Warn(QString("%1: no pulse estimated (%2 pulses, %3 flaws)")
                           .arg(QString::fromStdString(f.name))
                           .arg(f.nPulses)
                           .arg(f.nFlaws));
    // The firing-clamp page for a firing-clamp recording, and back for another.
    if (run) views_.pages.setCurrentIndex(static_cast<int>(run->page));
    const Recording& rec = session_.rec;
    if (rec.nFiles > 0 && rec.nFiles < static_cast<int>(rec.FileNames.size()))
      views_.parametersWindow.ShowFile(ParameterFileName(rec.FileNames[rec.nFiles]));
    requests_.showSweepState();
    if (run && std::any_of(run->files.begin(), run->files.end(), [](const auto& f) { return f.approximated; })) {
      ShowInFront(&views_.estimationsWindow);
      views_.approximatePage.ShowEquations();
    }
    views_.page.ShowState();
    runner_.ShowBusy(false);
    QApplication::beep();
  });
}

void FiringClampController::EraseCalibration() {
  runner_.Run("Erase calibration", 0, [this] {
    ClearCorrelationPlots(session_.fcCharts.vsI, session_.fcCharts.vsG);
    std::error_code ec;
    const bool existed = fs::exists(session_.dataDir / kCalibrationFileName, ec);
    if (Status erased = WritePulseFile(session_.dataDir, session_.pulses, PulseFileMode::Clean); !erased) {
      runner_.Warn(FromError(erased.error()));
      return;
    }
    views_.page.SetStatus(existed ? "Calibration erased" : "There was no calibration to erase");
  });
}

void FiringClampController::WriteInputIG() {
  runner_.Run("Write input I and G", 0, [this] {
    const Recording& rec = session_.rec;
    if (rec.nFiles < 1) {
      views_.page.SetStatus("No recording is loaded");
      return;
    }
    if (Status written = WriteTrueIG(rec, rec.iFile, session_.dataDir); !written) {
      runner_.Warn(FromError(written.error()));
      return;
    }
    views_.page.SetStatus(QString::fromUtf8(kTrueIGFileName.data(), kTrueIGFileName.size()) + " written");
  });
}

void FiringClampController::Approximate() {
  runner_.Run("Approximate", 0, [this] {
    // A failure has been reported to the warnings already.
    if (!velmora::Approximate(settings_.approx, session_.dataDir, session_.approx, runner_.warnings())) return;
    views_.approximatePage.ShowEquations();
    ShowInFront(&views_.estimationsWindow);
  });
}

void FiringClampController::DrawApproximatedVersusTrue() {
  runner_.Run("Draw approximated versus true z1, z2", 0, [this] {
    views_.approximatePage.ShowComparison();
    if (session_.approx.calib.nCalib() == 0) {
      runner_.Warn("Draw approximated versus true z1, z2: nothing has been approximated yet.");
      return;
    }
    velmora::DrawApproximatedVersusTrue(session_.approx, session_.fcCharts.comparison);
    views_.approximatePage.Refresh();
  });
}

void FiringClampController::DrawLattices(bool rescale) {
  runner_.Run(rescale ? "Rescale" : "Draw lattices z1(I,G), z2(I,G)", 0, [this, rescale] {
    FiringClampCharts& charts = session_.fcCharts;
    std::optional<LatticeBounds> bounds;
    // Before the first drawing there is no span to keep: the default one is used.
    if (rescale && charts.lattice1.visible) {
      const Chart& map = charts.lattice1.map;
      bounds = LatticeBounds{map.bottom.min, map.bottom.max, map.left.min, map.left.max};
    }
    auto lattice = velmora::DrawLattices(settings_.approx, session_.dataDir, bounds, settings_.latticeSurface1,
                                         settings_.latticeSurface2, session_.approx, charts.lattice1,
                                         charts.lattice2, runner_.warnings());
    if (lattice) {
      session_.lattice = std::move(*lattice);
      views_.approximatePage.ShowEquations();
      ShowInFront(&views_.estimationsWindow);
    }
    views_.approximatePage.ShowLattices();
  });
}

void FiringClampController::WriteLattices() {
  runner_.Run("Write", 0, [this] {
    const ApproxSettings& fitted = session_.approx.fitted;
    if (Status written =
            WriteLatticeFiles(session_.dataDir, session_.lattice, session_.approx.calib, fitted.iz1, fitted.iz2);
        !written)
      runner_.Warn(FromError(written.error()));
  });
}

}  // namespace velmora::app
