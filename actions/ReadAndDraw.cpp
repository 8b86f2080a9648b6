#include "actions/ReadAndDraw.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "analyses/ExtracelStim.h"
#include "firingclamp/Meander.h"
#include "recording/Filter.h"
#include "recording/ParameterFile.h"
#include "recording/SideFiles.h"
#include "recording/Stimulus.h"
#include "recording/TraceFile.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

int Trunc(double x) { return static_cast<int>(std::trunc(x)); }

Status ReadStimuli(Session& session, int slot, const StimSettings& settings, WarningSink& warnings) {
  const fs::path stimFile = StimFileOf(session, slot);
  std::error_code ec;
  if (fs::is_regular_file(stimFile, ec)) {
    auto times = ReadStimFile(stimFile, warnings);
    if (!times) return times.error();
    session.StimTimes = std::move(*times);
    return Ok();
  }
  return FindStimulationArtifacts(session.rec, slot, settings, session.StimTimes, session.charts.stimulus,
                                  stimFile, warnings);
}

}  // namespace

fs::path StimFileOf(const Session& session, int slot) {
  const Recording& rec = session.rec;
  const bool named = slot < static_cast<int>(rec.FileNames.size()) && !rec.FileNames[slot].empty();
  return RecordingBaseName(named ? rec.FileNames[slot] : session.files.VoltFile) + ".stim";
}

Status ReadFormatHeaders(Session& session, const Settings& settings, WarningSink& warnings) {
  session.spikeRecords = settings.spikes;
  Result<HeaderShown> shown = HeaderShown{};
  switch (settings.format) {
    case FileFormat::OldVarnel: shown = ReadOldHeader(session.files, session.header, session.rec); break;
    case FileFormat::NewVarnel: shown = ReadNewHeader(session.files, session.header, session.rec, warnings); break;
    case FileFormat::Main: return Ok();
  }
  if (!shown) return shown.error();
  session.gClamped = shown->gClamped;
  session.Bridge = shown->Bridge;
  return Ok();
}

Status ReadSweep(Session& session, int j, Settings& settings, WarningSink& warnings) {
  Recording& rec = session.rec;
  bool read = true;
  if (settings.format == FileFormat::Main) {
    read = j < static_cast<int>(rec.FileNames.size()) && !rec.FileNames[j].empty();
    if (Status s = ReloadSweep(rec, j, settings.load, warnings); !s) return s;
  } else {
    for (int plane : {1, 2})
      if (Status s = ReadColumnFile(session.files, session.header, plane, j, Trunc(settings.Skip), rec, warnings); !s)
        return s;
  }
  // A slot that was not read again holds the voltage filtered already;
  // filtering it once more at every redraw would smooth it away.
  if (read && settings.filter.on && rec.par.FiringClampOn != 1)
    FilterVoltage(rec.traces[j], rec.dt, settings.filter, warnings);
  CopyCompensationToFC(settings.compensation, session.FC);
  CopyCorrectionsToFC(settings.estimations, session.FC);
  // A slot that was not read again may be another recording than the
  // parameters read last, and its step values were corrected already.
  if (read && rec.par.FiringClampOn == 1) DetectMeander(rec, j, session.FC, warnings);
  return Ok();
}

void DrawSweep(Session& session, int j, const Settings& settings) {
  const Recording& rec = session.rec;
  const ViewState& view = settings.view;
  Charts& charts = session.charts;
  charts.voltage.left.title = "mV";
  charts.voltage.bottom.unit = "ms";  // untitled: the current chart below names the time
  charts.current.bottom.title = "ms";
  charts.current.left.title = "pA";
  charts.current.right.title = "nS";
  charts.lfp.bottom.title = "ms";
  charts.lfp.left.title = "mV";
  Series& V = EnsureSeries(charts.voltage, "V, exp.", SeriesKind::Line, kBlue);
  Series& Ireal = EnsureSeries(charts.current, "Ireal, exp.", SeriesKind::Line, kRed);
  Series& Icom = EnsureSeries(charts.current, "Icom, exp.", SeriesKind::Line, kGreen);
  Series& I = EnsureSeries(charts.current, "I", SeriesKind::Point, kBlack);
  Series& G = EnsureSeries(charts.current, "G", SeriesKind::Point, kMagenta, AxisSide::Right);
  Series& gNMDA = EnsureSeries(charts.current, "gNMDA", SeriesKind::Point, kCyan, AxisSide::Right);
  Series& LFP = EnsureSeries(charts.lfp, "LFP", SeriesKind::Line, kBlue);
  for (Series* s : {&V, &Ireal, &Icom, &I, &G, &gNMDA, &LFP}) s->Clear();

  const int Skip = std::max(1, Trunc(settings.Skip));
  const double F = view.lfpTau / 1000;  // s
  const std::vector<double>& LFPRaw = rec.raw.LFPRaw;
  double lfp = LFPRaw.empty() ? 0.0 : LFPRaw[0];
  const SweepSlot& slot = rec.traces[j];
  const long last = std::min<long>(
      {slot.nLast, static_cast<long>(slot.V.size()) - 1, static_cast<long>(Skip) * kMaxDrawnPoints - 1});
  const std::size_t points = last >= 0 ? static_cast<std::size_t>(last / Skip + 1) : 0;
  for (Series* s : {&V, &Ireal, &Icom}) s->points.reserve(points);
  // The column formats fill no command-current plane.
  const auto add = [](Series& s, const std::vector<double>& plane, long i, double x) {
    if (i < static_cast<long>(plane.size())) s.AddPoint(x, plane[i]);
  };
  int idx = 0;
  for (long i = 0; i <= last; i += Skip) {
    double x = (i * rec.dt + rec.t0) * 1000;  // ms
    if (view.alignCurrent) x = AlignToStimulus(x, idx, session.StimTimes);
    V.AddPoint(x, slot.V[i]);
    add(Ireal, slot.Ireal, i, x);
    add(Icom, slot.Icom, i, x);
    if (view.showCommandIG && i % 10 == 0) {
      // The protocol's clock starts at the recording's first sample, not at t0.
      const Stimulus c = StimulusAt(rec.par, rec.FileNo, i * rec.dt * 1000);
      I.AddPoint(x, c.Icom);
      G.AddPoint(x, c.Gcom);
      gNMDA.AddPoint(x, c.gNMDAcom);
    }
    // An LFP shorter than the sweep ends where its samples end.
    if (view.lfpVisible && i < static_cast<long>(LFPRaw.size())) {
      lfp = F > 0 ? lfp + rec.dt / F * (LFPRaw[i] - lfp) : LFPRaw[i];
      LFP.AddPoint(x, lfp);
    }
  }
  const ClampIG clamp = SweepIG(settings.format, session.header, rec, j);
  session.gClamped = clamp.G;
  session.iClamped = clamp.I;
}

int SlotToShow(double Smpl, int nFiles) {
  return static_cast<int>(std::max(1.0, std::min(std::trunc(Smpl), static_cast<double>(nFiles))));
}

Result<DrawnSweep> ReadAndDraw(Session& session, Settings& settings, WarningSink& warnings) {
  if (Status s = ReadFormatHeaders(session, settings, warnings); !s) return s.error();
  Recording& rec = session.rec;
  DrawnSweep drawn;
  drawn.slot = rec.iFile = SlotToShow(settings.Smpl, rec.nFiles);
  if (Status s = ReadSweep(session, drawn.slot, settings, warnings); !s) return s.error();
  if (settings.view.alignFC || settings.view.alignCurrent) {
    warnings.Status("Read extracellular stimuli");
    if (Status s = ReadStimuli(session, drawn.slot, settings.stim, warnings); !s) return s.error();
  }
  DrawSweep(session, drawn.slot, settings);
  drawn.spikesDetected = DetectSpikes(session.spikes, rec, drawn.slot, session.spikeRecords);
  if (drawn.spikesDetected)
    ShowSpikes(session.spikes, session.charts.voltage, settings.view.alignCurrent ? &session.StimTimes : nullptr);
  // The Lissajous redraw belongs here, its one call site: when
  // settings.view.lissajousActive, the plots are redrawn for this sweep.
  return drawn;
}

Status LoadSelectedSweeps(Session& session, Settings& settings, const std::vector<int>& selected,
                          WarningSink& warnings) {
  std::vector<int> entries = selected;
  std::sort(entries.begin(), entries.end());
  entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
  const int nListed = static_cast<int>(session.listed.size());
  const fs::path listFile = session.dataDir / "ListOfFiles";
  if (!entries.empty() && (entries.front() < 0 || entries.back() >= nListed))
    return Error{listFile.string(), 0, "",
                 fmt::format("entry {} is not in the list of {} recordings",
                             entries.front() < 0 ? entries.front() : entries.back(), nListed)};
  if (static_cast<int>(entries.size()) > kMaxSweeps)
    return Error{listFile.string(), 0, "",
                 fmt::format("{} recordings are selected; at most {} can be loaded at once", entries.size(),
                             kMaxSweeps)};
  Recording& rec = session.rec;
  int n = 0;
  for (int e : entries) {
    ++n;
    if (static_cast<int>(rec.FileNames.size()) <= n) rec.FileNames.resize(n + 1);
    rec.FileNames[n] = (session.dataDir / session.listed[e].trace).string();
    if (Status s = LoadSweepFiles(rec, rec.FileNames[n], warnings); !s) return s;
    if (Status s = LoadSweep(rec, n, settings.load, warnings); !s) return s;
  }
  rec.nFiles = n;
  settings.Smpl = 1;
  if (n == 0) return Ok();
  auto drawn = ReadAndDraw(session, settings, warnings);
  if (!drawn) return drawn.error();
  return Ok();
}

}  // namespace velmora
