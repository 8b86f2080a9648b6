#include "actions/ReadAndDraw.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <filesystem>
#include <utility>

#include "actions/LoadedData.h"
#include "analyses/ExtracelStim.h"
#include "firingclamp/Meander.h"
#include "recording/Filter.h"
#include "recording/ParameterFile.h"
#include "recording/SideFiles.h"
#include "recording/Stimulus.h"
#include "recording/TextIO.h"
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
  // The ".stim" file is named after a trace that the list names: held, the
  // data directory keeps a name such as "../x" from leading the write out.
  std::optional<DataDirLock> held;
  if (!session.dataDir.empty()) {
    auto lock = DataDirLock::Acquire(session.dataDir, warnings);
    if (!lock) return lock.error();
    held = std::move(*lock);
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

Status ReadSweep(Session& session, int j, const Settings& settings, WarningSink& warnings) {
  Recording& rec = session.rec;
  bool read = true;
  if (settings.format == FileFormat::Main) {
    read = j < static_cast<int>(rec.FileNames.size()) && !rec.FileNames[j].empty();
    // A loaded slot keeps what its load read; its files are read again only
    // when its voltage went through another filter than this read would apply.
    const SweepSlot& slot = std::as_const(rec.traces)[j];
    const bool voltageServes =
        slot.filteredIterations == 0 || (settings.filter.on && FilteredAs(slot, settings.filter));
    if (!(read && voltageServes && RestoreSweep(rec, j, settings.load)))
      if (Status s = ReloadSweep(rec, j, settings.load, warnings); !s) return s;
  } else {
    for (int plane : {1, 2})
      if (Status s = ReadColumnFile(session.files, session.header, plane, j, Trunc(settings.Skip), rec, warnings); !s)
        return s;
  }
  // A slot without a file name, or restored with its voltage filtered
  // already, is not filtered again: once more at every redraw would smooth it away.
  if (read && settings.filter.on && rec.par.FiringClampOn != 1 && !FilteredAs(rec.traces[j], settings.filter))
    FilterVoltage(rec.traces[j], rec.dt, settings.filter, warnings);
  // A slot that was not read again may be another recording than the
  // parameters read last, and its step values were corrected already.
  if (read && rec.par.FiringClampOn == 1)
    DetectMeander(rec, j, settings.compensation, settings.estimations, session.FC, warnings);
  return Ok();
}

void FilterLoadedSweeps(Session& session, const Settings& settings) {
  if (settings.format != FileFormat::Main || !settings.filter.on) return;
  Recording& rec = session.rec;
  std::vector<std::pair<SweepSlot*, double>> sweeps;
  for (int j = 1; j <= std::min(rec.nFiles, kMaxSweeps); ++j) {
    const SweepReading* kept = KeptReading(rec, j, settings.load);
    if (kept && kept->par.FiringClampOn != 1 && rec.traces[j].filteredIterations == 0)
      sweeps.emplace_back(&rec.traces[j], kept->dt);
  }
  FilterVoltages(sweeps, settings.filter);
}

void DrawSweep(Session& session, int j, const Settings& settings, const ShownWindows& shown) {
  const Recording& rec = session.rec;
  const DrawSettings& draw = settings.draw;
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
  // The statistics markers point into the sweep drawn before.
  for (Chart* chart : {&charts.voltage, &charts.current})
    if (Series* pointer = FindSeries(*chart, "Pointer")) pointer->Clear();

  const int Skip = std::max(1, Trunc(settings.Skip));
  const double F = draw.lfpTau / 1000;  // s
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
    if (draw.alignCurrent) x = AlignToStimulus(x, idx, session.StimTimes);
    V.AddPoint(x, slot.V[i]);
    add(Ireal, slot.Ireal, i, x);
    add(Icom, slot.Icom, i, x);
    if (draw.showCommandIG && i % 10 == 0) {
      // The protocol's clock starts at the recording's first sample, not at t0.
      const Stimulus c = StimulusAt(rec.par, rec.FileNo, i * rec.dt * 1000);
      I.AddPoint(x, c.Icom);
      G.AddPoint(x, c.Gcom);
      gNMDA.AddPoint(x, c.gNMDAcom);
    }
    // An LFP shorter than the sweep ends where its samples end.
    if (shown.lfp && i < static_cast<long>(LFPRaw.size())) {
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

Result<DrawnSweep> ReadAndDraw(Session& session, int slot, const Settings& settings, WarningSink& warnings,
                               const ShownWindows& shown, SpikeList* scannedAhead) {
  if (Status s = ReadFormatHeaders(session, settings, warnings); !s) return s.error();
  Recording& rec = session.rec;
  DrawnSweep drawn;
  drawn.slot = rec.iFile = SlotToShow(slot, rec.nFiles);
  // What the current window showed belongs to the sweep drawn before.
  ClearAllSeries(session.charts.stimulus);
  if (Status s = ReadSweep(session, drawn.slot, settings, warnings); !s) return s.error();
  if (settings.format != FileFormat::Main) MarkLoaded(session, settings.format, settings.load);
  if (settings.draw.alignFC || settings.draw.alignCurrent) {
    warnings.Status("Read extracellular stimuli");
    if (Status s = ReadStimuli(session, drawn.slot, settings.stim, warnings); !s) return s.error();
  }
  DrawSweep(session, drawn.slot, settings, shown);
  if (scannedAhead) {
    session.spikes = std::move(*scannedAhead);
    drawn.spikesDetected = true;
  } else {
    drawn.spikesDetected = DetectSpikes(session.spikes, rec, drawn.slot, session.spikeRecords);
  }
  // A sweep without detection (firing clamp, SpikesOff) has no spikes of its
  // own: the list and markers of the sweep scanned before are not its.
  if (!drawn.spikesDetected) ClearSpikeList(session.spikes, rec.tOn);
  ShowSpikes(session.spikes, session.charts.voltage, settings.draw.alignCurrent ? &session.StimTimes : nullptr);
  return drawn;
}

Status LoadSelection(Session& session, const Settings& settings, const std::vector<int>& selected,
                     WarningSink& warnings, LoadObserver* observer) {
  std::vector<int> entries = selected;
  std::sort(entries.begin(), entries.end());
  entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
  const int nListed = static_cast<int>(session.listed.size());
  std::error_code ec;
  // Sweeps of ABF files are listed without a list file: the directory is named instead.
  const fs::path listFile =
      fs::exists(session.dataDir / "ListOfFiles", ec) ? session.dataDir / "ListOfFiles" : session.dataDir;
  if (!entries.empty() && (entries.front() < 0 || entries.back() >= nListed))
    return Error{listFile.string(), 0, "",
                 fmt::format("entry {} is not in the list of {} recordings",
                             entries.front() < 0 ? entries.front() : entries.back(), nListed)};
  if (static_cast<int>(entries.size()) > kMaxSweeps)
    return Error{listFile.string(), 0, "",
                 fmt::format("{} recordings are selected; at most {} can be loaded at once", entries.size(),
                             kMaxSweeps)};
  // The new selection replaces the old one whole: a read that fails leaves
  // nothing loaded rather than some slots of each.
  UnloadData(session);
  Recording& rec = session.rec;
  // Grown once, so that the slots an observer works on stay where they are.
  if (!entries.empty()) rec.traces[static_cast<int>(entries.size())];
  int n = 0;
  for (int e : entries) {
    ++n;
    if (static_cast<int>(rec.FileNames.size()) <= n) rec.FileNames.resize(n + 1);
    rec.FileNames[n] = (session.dataDir / session.listed[e].trace).string();
    Status s = LoadSweepFiles(rec, rec.FileNames[n], warnings, settings.load);
    if (s) s = LoadSweep(rec, n, settings.load, warnings);
    if (!s) {
      if (observer) observer->Abandon();
      UnloadData(session);
      return s;
    }
    if (observer)
      observer->Loaded(rec.traces[n], KeptReading(rec, n, settings.load), static_cast<int>(entries.size()) - n);
  }
  rec.nFiles = n;
  if (n > 0) MarkLoaded(session, settings.format, settings.load);
  return Ok();
}

Status LoadSelectedSweeps(Session& session, const Settings& settings, const std::vector<int>& selected,
                          WarningSink& warnings, const ShownWindows& shown) {
  if (Status s = LoadSelection(session, settings, selected, warnings); !s) return s;
  if (session.rec.nFiles == 0) return Ok();
  auto drawn = ReadAndDraw(session, 1, settings, warnings, shown);
  if (!drawn) return drawn.error();
  return Ok();
}

}  // namespace velmora
