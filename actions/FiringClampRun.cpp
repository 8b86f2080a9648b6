#include "actions/FiringClampRun.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "firingclamp/ApproximateFC.h"
#include "firingclamp/Averaging.h"
#include "firingclamp/Meander.h"
#include "recording/SideFiles.h"
#include "recording/Stimulus.h"
#include "recording/TextIO.h"
#include "actions/LoadedData.h"
#include "actions/ReadAndDraw.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

// Whether slot k holds a firing-clamp recording, by the parameters its load
// kept; a slot without them is taken as one, to be read and looked at.
bool HoldsFiringClamp(const Recording& rec, int k) {
  const std::optional<SweepReading>& kept = rec.traces[k].reading;
  return !kept || kept->par.FiringClampOn == 1;
}

int SkipOf(const Settings& settings) {
  // A Skip below 1 draws every sample.
  return static_cast<int>(std::clamp(std::trunc(settings.Skip), 1.0, 1e6));
}

}  // namespace

void DrawFC(Session& session, int k, const Settings& settings, const ShownWindows& shown) {
  const Recording& rec = session.rec;
  const FCRecord& FC = session.FC;
  const Pulses& p = session.pulses;
  FiringClampCharts& charts = session.fcCharts;
  charts.time.left.title = "mV";
  charts.time.right.title = "ms, mV/ms";  // NegPulseDur and dVdt
  Series& V = EnsureSeries(charts.time, "V", SeriesKind::Line, kBlue);
  Series& markers = EnsureSeries(charts.time, "Markers", SeriesKind::Point, kOrange);
  Series& PulseV = EnsureSeries(charts.time, "PulseV", SeriesKind::Point, kMagenta);
  Series& subV = EnsureSeries(charts.time, "subV", SeriesKind::Point, kTeal);
  Series& NegPulseDur = EnsureSeries(charts.time, "NegPulseDur", SeriesKind::Point, kGray, AxisSide::Right);
  Series& VT = EnsureSeries(charts.time, "VT", SeriesKind::Point, kRed);
  Series& dVdt = EnsureSeries(charts.time, "dVdt", SeriesKind::Point, kCyan, AxisSide::Right);
  Series& VHalfPulse = EnsureSeries(charts.time, "VHalfPulse", SeriesKind::Point, kGreen);
  Chart& current = session.charts.stimulus;
  Series& Ireal = EnsureSeries(current, "Ireal", SeriesKind::Line, kBlack);
  Series& pointer = EnsureSeries(current, "Pointer", SeriesKind::Point, kRed);
  Series& trueI = EnsureSeries(charts.estimations.current, "True I", SeriesKind::Line, kGray);
  Series& trueG = EnsureSeries(charts.estimations.conductance, "True G", SeriesKind::Line, kGray);
  for (Series* s :
       {&V, &markers, &PulseV, &subV, &NegPulseDur, &VT, &dVdt, &VHalfPulse, &Ireal, &pointer, &trueI, &trueG})
    s->Clear();
  for (std::string_view title : {"Stimuli", "Iextract"})
    if (Series* s = FindSeries(current, title)) s->Clear();

  const bool aligned = settings.draw.alignFC;
  const auto timeOf = [&](double t, int& idx) { return aligned ? AlignToStimulus(t, idx, session.StimTimes) : t; };
  const SweepSlot& sweep = rec.traces[k];
  // Only samples FC holds for this very sweep are drawn.
  if (FC.slot == k && FC.nLast == sweep.nLast && sweep.nLast >= 0) {
    const long r = SkipOf(settings);
    const long last = std::min<long>(sweep.nLast, r * kMaxDrawnPoints - 1);
    const long measured = static_cast<long>(sweep.Ireal.size()) - 1;
    int idx = 0;
    for (long i = r; i <= last; i += r) {
      const double x = timeOf((i * rec.dt + rec.t0) * 1000, idx);  // ms
      V.AddPoint(x, FC.V[i]);
      if (i % 10 == 0) {
        if (i <= measured) Ireal.AddPoint(x, sweep.Ireal[i]);
        trueI.AddPoint(x, FC.I[i]);
        trueG.AddPoint(x, FC.G[i]);
      }
      if (FC.Switch[i] == 1) markers.AddPoint(x, FC.V[i]);
    }
  }

  int idx = 0;
  for (int j = 1; j <= p.nPulses; ++j) {
    const double x = timeOf(p.tPulse[j], idx);
    PulseV.AddPoint(x, p.PulseV[j]);
    subV.AddPoint(x, p.subV[j]);
    NegPulseDur.AddPoint(x, p.NegPulseDur[j]);
    VT.AddPoint(x, p.VT[j]);
    dVdt.AddPoint(x, p.dVdt[j]);
    VHalfPulse.AddPoint(x, p.VHalfPulse[j]);
    if (shown.currentWindow && rec.dt > 0) {
      // The switch-to-negative sample the pulse's time was taken at.
      const double sample = std::round((p.tPulse[j] / 1000 - rec.t0) / rec.dt);
      if (sample >= 0 && sample < static_cast<double>(sweep.Ireal.size()))
        pointer.AddPoint(x, sweep.Ireal[static_cast<std::size_t>(sample)]);
    }
  }
}

bool NothingEstimated(const FiringClampFile& file) {
  if (!file.estimation) return false;
  const EstimationReport& r = *file.estimation;
  const int zeroed = r.notConverged + r.zeroVariance + r.badCorrection + r.notFinite;
  return file.summary.last < file.summary.first || zeroed >= file.summary.last - file.summary.first + 1;
}

Result<FiringClampRun> FiringClampDriver(Session& session, const Settings& settings, const std::vector<int>& selected,
                                         WarningSink& warnings, MainPage page, const ShownWindows& shown) {
  FiringClampCharts& charts = session.fcCharts;
  FiringClampRun run;
  const auto step = [&](std::string_view text) {
    run.lastStep = text;
    warnings.Status(text);
  };
  step("Read selected files");
  if (selected.empty()) return Error{(session.dataDir / "ListOfFiles").string(), 0, "", "no recording is selected"};
  // Every file the run writes goes into the data directory, one run at a time.
  std::optional<DataDirLock> held;
  if (!session.dataDir.empty()) {
    auto lock = DataDirLock::Acquire(session.dataDir, warnings);
    if (!lock) return lock.error();
    held = std::move(*lock);
  }
  if (Status loaded = LoadSelectedSweeps(session, settings, selected, warnings, shown); !loaded)
    return loaded.error();

  Recording& rec = session.rec;
  if (rec.par.FiringClampOn == 1 && page == MainPage::Plots)
    page = MainPage::FiringClamp;
  else if (rec.par.FiringClampOn != 1 && page == MainPage::FiringClamp)
    page = MainPage::Plots;
  const bool firingClampPage = page == MainPage::FiringClamp || page == MainPage::ApproximateFC;
  run.page = page;

  const fs::path& dir = session.dataDir;
  for (int k = 1; k <= rec.nFiles; ++k) {
    FiringClampFile& file = run.files.emplace_back();
    file.slot = k;
    file.name = SweepName(rec, k);
  }
  // Off the firing-clamp pages nothing is analysed, and the sweep the load
  // drew stays the one shown.
  if (!firingClampPage) return run;

  const int loadedShown = rec.iFile;
  int lastRead = loadedShown, lastAnalysed = 0;
  for (int k = 1; k <= rec.nFiles; ++k) {
    FiringClampFile& file = run.files[k - 1];
    warnings.Progress(k, rec.nFiles, fmt::format("recording {} of {}: {}", k, rec.nFiles, file.name));
    // Decided on what the load kept, so that a sweep left alone is not read again.
    if (!HoldsFiringClamp(rec, k)) continue;
    rec.iFile = k;
    // Read again and prepared from its own samples: the record FC holds the
    // sweep prepared last, and analysing sweep k against another sweep's
    // samples would give that sweep's pulses under this one's name.
    if (Status read = ReadSweep(session, k, settings, warnings); !read) return read.error();
    lastRead = k;
    if (rec.par.FiringClampOn != 1) continue;

    file.analysed = true;
    lastAnalysed = k;
    step("Analyze_FC");
    AnalyzePulses(rec, k, session.FC, settings.fc, settings.load.lost, session.pulses, warnings);
    file.nPulses = session.pulses.nPulses;
    file.nFlaws = session.pulses.nFlaws;
    step("Draw_FC");
    DrawFC(session, k, settings, shown);
    step("Draw and write correlations");
    DrawCorrelations(session.pulses, settings.whichToPlot, settings.NegPulseD, charts.vsI, charts.vsG);
    if (settings.fc.writeInFile) {
      auto appended = AppendNewPulses(dir, session.pulses);
      if (!appended) return appended.error();
      if (!*appended)
        warnings.Warn(fmt::format("{}: its {} pulses are in the calibration set {} already; not appended again",
                                  file.name, session.pulses.nPulses, (dir / kCalibrationFileName).string()));
    }

    step("No Approximation");
    if (settings.fc.approximate) {
      step("Approximation");
      if (!Approximate(settings.approx, dir, session.approx, warnings)) {
        run.approximationFailed = true;
        file.pulses = session.pulses;
        return run;
      }
      file.approximated = true;
    }
    step("No Estimation");
    if (shown.estimations && settings.fc.approximate) {
      step("Estimation");
      const EstimationInputs in{rec.par.StepPars.CmdScale, rec.par.Vus,
                                settings.draw.alignFC ? &session.StimTimes : nullptr};
      auto report = EstimateAll(session.pulses, session.approx, settings.compensation, in, settings.precision,
                                settings.estimations, dir, charts.estimations, warnings);
      if (!report) return report.error();
      file.estimation = *report;
      file.summary = SummarizeEstimates(session.pulses, session.approx.fitted.kind);
      session.averages =
          AverageEstimates(session.pulses, rec.t0, settings.estimations.dt_av, charts.estimations, warnings);
      if (Status written = WriteTrueIG(rec, k, dir); !written) return written.error();
    }
    file.pulses = session.pulses;
    step("Done");
  }
  // What the windows show afterwards is one sweep everywhere (the header,
  // "Smpl", the main charts and the firing-clamp tab): the last one analysed,
  // or the one the load drew when none was.
  const int show = lastAnalysed > 0 ? lastAnalysed : loadedShown;
  if (show != lastRead)
    if (Status read = ReadSweep(session, show, settings, warnings); !read) return read.error();
  rec.iFile = show;
  if (lastAnalysed > 0) {
    DrawSweep(session, show, settings, shown);
    ClearSpikeList(session.spikes, rec.tOn);
    ShowSpikes(session.spikes, session.charts.voltage, nullptr);
  }
  return run;
}

void ApplyRequest(Settings& settings, const FiringClampRequest& request) {
  settings.fc.writeInFile = request.calibrate;
  settings.fc.approximate = request.approximate.has_value() || request.estimate;
  if (request.approximate) settings.approx.kind = *request.approximate;
}

Result<FiringClampRun> FiringClampRunOfDirectory(Session& session, const Settings& settings,
                                                 const fs::path& dir, const std::vector<std::string>& names,
                                                 const FiringClampRequest& request, WarningSink& warnings) {
  // Asked before the lock, whose file would be left in any directory named.
  std::error_code ec;
  if (!fs::exists(dir / "ListOfFiles", ec)) return Error{dir.string(), 0, "", "no \"ListOfFiles\" here"};
  // Held to the end: the calibration file, the fits and ".stim" files are written into the directory.
  auto lock = DataDirLock::Acquire(dir, warnings);
  if (!lock) return lock.error();
  auto selected = ListedSelection(session, dir, names, warnings);
  if (!selected) return selected.error();
  if (request.eraseCalibration) {
    ClearCorrelationPlots(session.fcCharts.vsI, session.fcCharts.vsG);
    if (Status st = WritePulseFile(dir, session.pulses, PulseFileMode::Clean); !st) return st.error();
  }
  return FiringClampDriver(session, settings, *selected, warnings, MainPage::FiringClamp,
                           {.estimations = request.estimate});
}

}  // namespace velmora
