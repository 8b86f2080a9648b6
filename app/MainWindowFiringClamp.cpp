// The "Firing-Clamp" and "Approximate_FC" tabs bound to the firing-clamp
// core, and the driver's run from the list of files.

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <filesystem>
#include <optional>

#include "app/ApproximatePage.h"
#include "app/ChartView.h"
#include "app/Conversions.h"
#include "app/FileListWindow.h"
#include "app/FiringClampPage.h"
#include "app/LatticeView.h"
#include "app/MainWindow.h"
#include "app/ParametersWindow.h"
#include "app/Windows.h"
#include "actions/FiringClampRun.h"
#include "firingclamp/Lattice.h"
#include "recording/ParameterFile.h"

namespace velmora::app {

namespace fs = std::filesystem;

struct MainWindow::FiringClampUi : QObject {
  using QObject::QObject;
  FiringClampPage* fc = nullptr;
  ApproximatePage* approx = nullptr;
};

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

QWidget* MainWindow::BuildFiringClampPage() {
  fcUi_ = new FiringClampUi(this);
  auto* page = new FiringClampPage(session_, settings_, fields_);
  fcUi_->fc = page;
  fcTimeView_ = page->timeView();
  otherViews_ << page->timeView() << page->vsIView() << page->vsGView();
  connect(page->eraseCalibration(), &QPushButton::clicked, this, [this] {
    // The calibration points of every recording analysed so far are in that file.
    const fs::path file = session_.dataDir / kCalibrationFileName;
    std::error_code ec;
    if (fs::exists(file, ec) &&
        !askToConfirm("Erase calibration",
                      QString("Erase the calibration file %1? Its points cannot be restored.")
                          .arg(QString::fromStdString(file.string()))))
      return;
    EraseCalibration();
  });
  connect(page->writeInputIG(), &QPushButton::clicked, this, &MainWindow::WriteInputIG);
  connect(page->adjustScales(), &QPushButton::clicked, this, [this] {
    // The partner is the chart of "Form6: current"; without it there is nothing to adjust to.
    if (!form6View_) return;
    form6_->show();
    AdoptTimeAxis(session_.fcCharts.time, *form6View_);
    fcTimeView_->Refresh();
  });
  return page;
}

QWidget* MainWindow::BuildApproximatePage() {
  auto* page = new ApproximatePage(session_, settings_, fields_);
  fcUi_->approx = page;
  // The comparison charts and the lattices change only by this tab's own
  // buttons, which redraw them; left out of the views refreshed after every
  // action, the two lattices of 7,821 bubbles are not drawn twice.
  connect(page->approximate(), &QPushButton::clicked, this, &MainWindow::ApproximateFC);
  connect(page->drawVersusTrue(), &QPushButton::clicked, this, &MainWindow::DrawApproximatedVersusTrueFC);
  connect(page->drawLattices(), &QPushButton::clicked, this, [this] { DrawLatticesFC(false); });
  connect(page->rescale(), &QPushButton::clicked, this, [this] { DrawLatticesFC(true); });
  connect(page->write(), &QPushButton::clicked, this, &MainWindow::WriteLatticesFC);
  for (NumberField* f : page->precisionFields()) f->onChanged = [this] { LoadSelectedRecordings(); };
  for (NumberField* f : page->analyticFields())
    f->onChanged = [this] {
      // The settings step of the firing-clamp analysis, as loading the sweep
      // does it; a run in progress reads the fields again at its next file.
      Recording& rec = session_.rec;
      if (busy() || rec.nFiles < 1 || rec.par.FiringClampOn != 1) return;
      ReadFCSettings(rec.par, settings_.load.lost, settings_.fc, session_.pulses, warnings());
      fcUi_->fc->ShowState();
    };
  return page;
}

FiringClampPage* MainWindow::firingClampPage() const { return fcUi_->fc; }
ApproximatePage* MainWindow::approximatePage() const { return fcUi_->approx; }

void MainWindow::LoadSelectedRecordings() {
  const std::vector<int> selected = parts_.form4Window->Selected();
  if (selected.empty()) return;
  Run("Loading the selected recordings", 0, [this, &selected] {
    SetBusyColour(true);
    QCoreApplication::processEvents();
    StatusLabelSink sink(warnings(), *fcUi_->fc);
    auto run = FiringClampDriver(session_, settings_, selected, sink,
                                 static_cast<MainPage>(parts_.pages->currentIndex()), Shown());
    if (!run) Warn(FromError(run.error()));
    if (run)
      for (const FiringClampFile& f : run->files)
        if (NothingEstimated(f))
          Warn(QString("%1: no pulse estimated (%2 pulses, %3 flaws)")
                   .arg(QString::fromStdString(f.name))
                   .arg(f.nPulses)
                   .arg(f.nFlaws));
    // The firing-clamp page for a firing-clamp recording, and back for another.
    if (run) parts_.pages->setCurrentIndex(static_cast<int>(run->page));
    const Recording& rec = session_.rec;
    if (rec.nFiles > 0 && rec.nFiles < static_cast<int>(rec.FileNames.size()))
      parts_.form9Window->ShowFile(ParameterFileName(rec.FileNames[rec.nFiles]));
    ShowSweepState();
    if (run && std::any_of(run->files.begin(), run->files.end(), [](const auto& f) { return f.approximated; })) {
      ShowInFront(form5_);
      fcUi_->approx->ShowEquations();
    }
    fcUi_->fc->ShowState();
    SetBusyColour(false);
    QApplication::beep();
  });
}

void MainWindow::EraseCalibration() {
  Run("Erase calibration", 0, [this] {
    ClearCorrelationPlots(session_.fcCharts.vsI, session_.fcCharts.vsG);
    std::error_code ec;
    const bool existed = fs::exists(session_.dataDir / kCalibrationFileName, ec);
    if (Status erased = WritePulseFile(session_.dataDir, session_.pulses, PulseFileMode::Clean); !erased) {
      Warn(FromError(erased.error()));
      return;
    }
    fcUi_->fc->SetStatus(existed ? "Calibration erased" : "There was no calibration to erase");
  });
}

void MainWindow::WriteInputIG() {
  Run("Write input I and G", 0, [this] {
    const Recording& rec = session_.rec;
    if (rec.nFiles < 1) {
      fcUi_->fc->SetStatus("No recording is loaded");
      return;
    }
    if (Status written = WriteTrueIG(rec, rec.iFile, session_.dataDir); !written) {
      Warn(FromError(written.error()));
      return;
    }
    fcUi_->fc->SetStatus(QString::fromUtf8(kTrueIGFileName.data(), kTrueIGFileName.size()) + " written");
  });
}

void MainWindow::ApproximateFC() {
  Run("Approximate", 0, [this] {
    // A failure has been reported to the warnings already.
    if (!Approximate(settings_.approx, session_.dataDir, session_.approx, warnings())) return;
    fcUi_->approx->ShowEquations();
    ShowInFront(form5_);
  });
}

void MainWindow::DrawApproximatedVersusTrueFC() {
  Run("Draw approximated versus true z1, z2", 0, [this] {
    fcUi_->approx->ShowComparison();
    if (session_.approx.calib.nCalib() == 0) {
      Warn("Draw approximated versus true z1, z2: nothing has been approximated yet.");
      return;
    }
    DrawApproximatedVersusTrue(session_.approx, session_.fcCharts.comparison);
    fcUi_->approx->Refresh();
  });
}

void MainWindow::DrawLatticesFC(bool rescale) {
  Run(rescale ? "Rescale" : "Draw lattices z1(I,G), z2(I,G)", 0, [this, rescale] {
    FiringClampCharts& charts = session_.fcCharts;
    std::optional<LatticeBounds> bounds;
    // Before the first drawing there is no span to keep: the default one is used.
    if (rescale && charts.lattice1.visible) {
      const Chart& map = charts.lattice1.map;
      bounds = LatticeBounds{map.bottom.min, map.bottom.max, map.left.min, map.left.max};
    }
    auto lattice = DrawLattices(settings_.approx, session_.dataDir, bounds, settings_.latticeSurface1,
                                settings_.latticeSurface2, session_.approx, charts.lattice1, charts.lattice2,
                                warnings());
    if (lattice) {
      session_.lattice = std::move(*lattice);
      fcUi_->approx->ShowEquations();
      ShowInFront(form5_);
    }
    fcUi_->approx->ShowLattices();
  });
}

void MainWindow::WriteLatticesFC() {
  Run("Write", 0, [this] {
    const ApproxSettings& fitted = session_.approx.fitted;
    if (Status written =
            WriteLatticeFiles(session_.dataDir, session_.lattice, session_.approx.calib, fitted.iz1, fitted.iz2);
        !written)
      Warn(FromError(written.error()));
  });
}

}  // namespace velmora::app
