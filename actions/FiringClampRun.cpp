#include "actions/FiringClampRun.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "firingclamp/ApproximateFC.h"
#include "firingclamp/Averaging.h"
#include "firingclamp/Meander.h"
#include "recording/SideFiles.h"
#include "recording/Stimulus.h"
#include "recording/TextIO.h"
#include "actions/ReadAndDraw.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

int SkipOf(const Settings& settings) {
  // A Skip below 1 draws every sample.
  return static_cast<int>(std::clamp(std::trunc(settings.Skip), 1.0, 1e6));
}

}  // namespace

void DrawFC(Session& session, int k, const Settings& settings) {
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
  charts.flaws = fmt::format("Number of flaws={}", p.nFlaws);

  const bool aligned = settings.view.alignFC;
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
    if (settings.view.currentWindowVisible && rec.dt > 0) {
      // The switch-to-negative sample the pulse's time was taken at.
      const double sample = std::round((p.tPulse[j] / 1000 - rec.t0) / rec.dt);
      if (sample >= 0 && sample < static_cast<double>(sweep.Ireal.size()))
        pointer.AddPoint(x, sweep.Ireal[static_cast<std::size_t>(sample)]);
    }
  }
}

Result<FiringClampRun> FiringClampDriver(Session& session, Settings& settings, const std::vector<int>& selected,
                                         WarningSink& warnings) {
  FiringClampCharts& charts = session.fcCharts;
  const auto step = [&](std::string_view text) {
    charts.status = text;
    warnings.Status(text);
  };
  step("Read selected files");
  if (selected.empty()) return Error{(session.dataDir / "ListOfFiles").string(), 0, "", "no recording is selected"};
  if (Status loaded = LoadSelectedSweeps(session, settings, selected, warnings); !loaded) return loaded.error();

  Recording& rec = session.rec;
  MainPage& page = settings.view.page;
  if (rec.par.FiringClampOn == 1 && page == MainPage::Plots)
    page = MainPage::FiringClamp;
  else if (rec.par.FiringClampOn != 1 && page == MainPage::FiringClamp)
    page = MainPage::Plots;
  const bool firingClampPage = page == MainPage::FiringClamp || page == MainPage::ApproximateFC;

  const fs::path& dir = session.dataDir;
  FiringClampRun run;
  for (int k = 1; k <= rec.nFiles; ++k) {
    rec.iFile = k;
    // Read again and prepared from its own samples: the record FC holds the
    // sweep prepared last, and analysing sweep k against another sweep's
    // samples would give that sweep's pulses under this one's name.
    if (Status read = ReadSweep(session, k, settings, warnings); !read) return read.error();
    FiringClampFile& file = run.files.emplace_back();
    file.slot = k;
    file.name = SweepName(rec, k);
    warnings.Progress(k, rec.nFiles, fmt::format("recording {} of {}: {}", k, rec.nFiles, file.name));
    if (!firingClampPage || rec.par.FiringClampOn != 1) continue;

    file.analysed = true;
    step("Analyze_FC");
    AnalyzePulses(rec, k, session.FC, settings.fc, settings.load.lost, session.pulses, warnings);
    file.nPulses = session.pulses.nPulses;
    file.nFlaws = session.pulses.nFlaws;
    step("Draw_FC");
    DrawFC(session, k, settings);
    step("Draw and write correlations");
    DrawCorrelations(session.pulses, settings.whichToPlot, settings.NegPulseD, charts.vsI, charts.vsG);
    if (settings.fc.writeInFile)
      if (Status written = WritePulseFile(dir, session.pulses, PulseFileMode::Append); !written) return written.error();

    step("No Approximation");
    if (settings.fc.approximate) {
      step("Approximation");
      if (!Approximate(settings.approx, dir, session.approx, warnings)) {
        run.approximationFailed = true;
        return run;
      }
      file.approximated = true;
    }
    step("No Estimation");
    if (settings.view.estimationsVisible && settings.fc.approximate) {
      step("Estimation");
      const EstimationInputs in{rec.par.StepPars.CmdScale, rec.par.Vus,
                                settings.view.alignFC ? &session.StimTimes : nullptr};
      auto report = EstimateAll(session.pulses, session.approx, session.FC, in, settings.precision,
                                settings.estimations, dir, charts.estimations, warnings);
      if (!report) return report.error();
      file.estimation = *report;
      file.summary = SummarizeEstimates(session.pulses, session.approx.fitted.kind);
      session.averages =
          AverageEstimates(session.pulses, rec.t0, settings.estimations.dt_av, charts.estimations, warnings);
      if (Status written = WriteTrueIG(rec, k, dir); !written) return written.error();
    }
    step("Done");
  }
  return run;
}

}  // namespace velmora
