#include "firingclamp/Driver.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "analyses/ExtracelStim.h"
#include "firingclamp/ApproximateFC.h"
#include "firingclamp/Averaging.h"
#include "firingclamp/Meander.h"
#include "recording/Stimulus.h"
#include "recording/TextIO.h"
#include "spikes/Pipeline.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

// The boxes of "Which to plot" in the order of the group; the last two sit
// on the right axis of the chart against I but on the left one against G.
struct CorrelationBox {
  std::string_view title;
  std::vector<double> Pulses::*z;
  AxisSide axisOnI, axisOnG;
  Color color;
};

constexpr AxisSide kL = AxisSide::Left, kR = AxisSide::Right;
const std::array<CorrelationBox, 9> kBoxes = {{
    {"subV", &Pulses::subV, kL, kL, kBlue},
    {"NegPulseD", &Pulses::NegPulseDur, kR, kR, kGray},
    {"VT", &Pulses::VT, kL, kL, kRed},
    {"PulseV-VT", &Pulses::PulseV_VT, kL, kL, kGreen},
    {"PulseV", &Pulses::PulseV, kL, kL, kMagenta},
    {"dVdt", &Pulses::dVdt, kR, kR, kCyan},
    {"VHalfPulse", &Pulses::VHalfPulse, kL, kL, kBlack},
    {"dVdt_V1", &Pulses::dVdt_V1, kR, kL, kYellow},
    {"dVdt_V2", &Pulses::dVdt_V2, kR, kL, kRed},
}};
constexpr int kClearedBoxes = 7;  // "Erase calibration" keeps dVdt_V1 and dVdt_V2

Series& CorrelationSeries(Chart& chart, const CorrelationBox& box, bool againstI) {
  return EnsureSeries(chart, box.title, SeriesKind::Point, box.color, againstI ? box.axisOnI : box.axisOnG);
}

void SetCorrelationAxes(FiringClampCharts& charts) {
  // Assigned as strings: GCC 12 warns falsely (-Wrestrict) on one-letter literals.
  charts.vsI.bottom.title = std::string("I");
  charts.vsG.bottom.title = std::string("G");
  charts.vsI.left.title = charts.vsG.left.title = "mV";
  charts.vsI.right.title = charts.vsG.right.title = "ms, mV/ms";
}

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

void CopyCompensationToFC(const CompensationSettings& settings, FCRecord& FC) {
  FC.G1 = settings.G1;
  FC.C1C = settings.C1C;
  FC.tauIfilt = settings.tauIfilt / 1e6;  // s
  FC.mode = settings.mode;
  TruncCount(settings.DelayI, FC.DelayI);
  TruncCount(settings.DelayT, FC.DelayT);
  TruncCount(settings.DelayV, FC.DelayV);
}

void DrawFC(Session& session, int k, const Settings& settings) {
  const Recording& rec = session.rec;
  const FCRecord& FC = session.FC;
  const Pulses& p = session.pulses;
  FiringClampCharts& charts = session.fcCharts;
  charts.time.left.title = "mV";
  Series& V = EnsureSeries(charts.time, "V", SeriesKind::Line, kBlue);
  Series& markers = EnsureSeries(charts.time, "Markers", SeriesKind::Point, kRed);
  Series& PulseV = EnsureSeries(charts.time, "PulseV", SeriesKind::Point, kMagenta);
  Series& subV = EnsureSeries(charts.time, "subV", SeriesKind::Point, kBlue);
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

void DrawCorrelations(const Pulses& p, const WhichToPlot& boxes, bool NegPulseD, FiringClampCharts& charts) {
  SetCorrelationAxes(charts);
  const std::array<bool, 9> ticked = {boxes.subV, NegPulseD,        boxes.VT,      boxes.PulseV_VT, boxes.PulseV,
                                      boxes.dVdt, boxes.VHalfPulse, boxes.dVdt_V1, boxes.dVdt_V2};
  for (std::size_t b = 0; b < kBoxes.size(); ++b) {
    if (!ticked[b]) continue;
    Series& onI = CorrelationSeries(charts.vsI, kBoxes[b], true);
    Series& onG = CorrelationSeries(charts.vsG, kBoxes[b], false);
    const std::vector<double>& z = p.*kBoxes[b].z;
    for (int j = 1; j <= p.nPulses; ++j) {
      onI.AddPoint(p.I[j], z[j]);
      onG.AddPoint(p.G[j], z[j]);
    }
  }
}

void ClearCorrelationPlots(FiringClampCharts& charts) {
  for (int b = 0; b < kClearedBoxes; ++b) {
    CorrelationSeries(charts.vsI, kBoxes[b], true).Clear();
    CorrelationSeries(charts.vsG, kBoxes[b], false).Clear();
  }
}

Status WritePulseFile(const fs::path& dir, const Pulses& p, PulseFileMode mode) {
  const fs::path path = dir / kCalibrationFileName;
  std::error_code ec;
  if (mode == PulseFileMode::Clean) {
    fs::remove(path, ec);
    if (ec) return Error{path.string(), 0, "", "cannot be erased: " + ec.message()};
    return Ok();
  }
  std::string text;
  for (int j = 1; j <= p.nPulses; ++j) {
    const double columns[kCalibColumns] = {p.I[j],      p.G[j],           p.VT[j],     p.PulseV_VT[j],  p.subV[j],
                                           p.PulseV[j], p.NegPulseDur[j], p.dVdt[j],   p.VHalfPulse[j], p.tPulse[j],
                                           p.gNMDA[j],  p.dVdt_V1[j],     p.dVdt_V2[j]};
    for (int c = 0; c < kCalibColumns; ++c) {
      if (c > 0) text += ' ';
      text += Fixed(columns[c], 8, 3);
    }
    text += "\r\n";
  }
  if (Status appended = AppendWhole(path, text, false); !appended) return appended;
  // A calibration file without a single pulse would only make the next
  // approximation fail on it.
  if (fs::file_size(path, ec) == 0 && !ec) fs::remove(path, ec);
  return Ok();
}

Status WriteTrueIG(const Recording& rec, int k, const fs::path& dir) {
  const int nLast = rec.traces.nLast(k);
  std::string text;
  if (nLast >= 0) text.reserve(static_cast<std::size_t>(nLast / 10 + 1) * 36);
  for (long i = 0; i <= nLast; i += 10) {
    const Stimulus c = StimulusAt(rec.par, rec.FileNo, ((i - 2) * rec.dt + rec.t0) * 1000);
    text += fmt::format("{} {} {} {}\r\n", Fixed(i * rec.dt * 1000, 8, 3), Fixed(c.Icom, 8, 3), Fixed(c.Gcom, 8, 3),
                        Fixed(c.gNMDAcom, 8, 3));
  }
  return WriteFileAtomically(dir / kTrueIGFileName, text);
}

EstimateSummary SummarizeEstimates(const Pulses& p, ApproxKind kind) {
  EstimateSummary s;
  s.first = IsRegressionKind(kind) ? 2 : 1;
  s.last = p.nPulses;
  const int n = s.last - s.first + 1;
  if (n < 1) return s;
  for (int j = s.first; j <= s.last; ++j) {
    s.meanIest += p.Iest[j], s.meanGest += p.Gest[j];
    s.meanI += p.I[j], s.meanG += p.G[j];
    s.rmsI += (p.Iest[j] - p.I[j]) * (p.Iest[j] - p.I[j]);
    s.rmsG += (p.Gest[j] - p.G[j]) * (p.Gest[j] - p.G[j]);
  }
  for (double* x : {&s.meanIest, &s.meanGest, &s.meanI, &s.meanG, &s.rmsI, &s.rmsG}) *x /= n;
  s.rmsI = std::sqrt(s.rmsI), s.rmsG = std::sqrt(s.rmsG);
  return s;
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
    FiringClampFile& file = run.files.emplace_back();
    file.slot = k;
    file.name = SweepName(rec, k);
    warnings.Progress(k, rec.nFiles, fmt::format("recording {} of {}: {}", k, rec.nFiles, file.name));
    // Decided on what the load kept, so that a sweep left alone is not read again.
    if (!firingClampPage || !HoldsFiringClamp(rec, k)) continue;
    rec.iFile = k;
    // Read again and prepared from its own samples: the record FC holds the
    // sweep prepared last, and analysing sweep k against another sweep's
    // samples would give that sweep's pulses under this one's name.
    if (Status read = ReadSweep(session, k, settings, warnings); !read) return read.error();
    if (rec.par.FiringClampOn != 1) continue;

    file.analysed = true;
    step("Analyze_FC");
    AnalyzePulses(rec, k, session.FC, settings.fc, settings.load.lost, session.pulses, warnings);
    file.nPulses = session.pulses.nPulses;
    file.nFlaws = session.pulses.nFlaws;
    step("Draw_FC");
    DrawFC(session, k, settings);
    step("Draw and write correlations");
    DrawCorrelations(session.pulses, settings.whichToPlot, settings.NegPulseD, charts);
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
