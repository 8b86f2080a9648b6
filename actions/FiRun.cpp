#include "actions/FiRun.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "actions/LoadedData.h"
#include "actions/ReadAndDraw.h"
#include "actions/ScanAhead.h"
#include "spikes/ResultFiles.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

// The column formats have no parameter file: a tau_m left by an earlier
// main-format recording is not theirs.
double TauM(const RecordingParameters& par, FileFormat format) {
  return format == FileFormat::Main ? StoredTauM(par) : 0;
}

std::string_view KindName(DirKind kind) {
  if (kind == DirKind::Abf) return "ABF or ATF files";
  return kind == DirKind::OldColumns ? "old column format (\"_gst\")" : "new column format (\"gs1\")";
}

// The F-I run of every ABF or ATF file of each directory, each directory's
// sweeps listed as the list of files lists them. The session's data
// directory and list are those of `curDir` again at the end; what is loaded
// is the last file's. `curDir` is a copy: the caller's may be the session's
// data directory, which changes here.
Result<BatchRun> TreatAbfDirs(Session& session, const Settings& settings, const fs::path curDir, BatchRun batch,
                              WarningSink& warnings, const ShownWindows& shown) {
  const fs::path dataDir = session.dataDir;
  std::vector<ListedRecording> listed = std::move(session.listed);
  const auto restore = [&] {
    session.dataDir = dataDir;
    session.listed = std::move(listed);
  };
  Settings run = settings;
  const int nDirs = static_cast<int>(batch.dirs.DirList.size());
  for (int k = 1; k <= nDirs; ++k) {
    const std::string& D = batch.dirs.DirList[k - 1];
    batch.label = FileNumberLabel(k);
    warnings.Progress(k, nDirs, batch.label);
    session.dataDir = curDir / D;
    // No home directory: the batch does not become the remembered directory.
    auto entries = ReadListOfFiles(session.dataDir, {}, session.rec, warnings);
    if (!entries) {
      warnings.Warn(fmt::format("{}: {}", D, entries.error().What()));
      batch.runs.push_back({D, FIRun{{}, {}, entries.error().What()}});
      continue;
    }
    session.listed = std::move(*entries);
    auto runs = FICurvesPerFile(session, run, curDir, warnings, shown);
    if (!runs) {
      restore();
      return runs.error();
    }
    // The later directories add to the first one's files.
    if (std::ranges::any_of(*runs, [](const BatchDir& r) { return !r.run.sweeps.empty(); }))
      run.fi.AppendOutput = true;
    for (BatchDir& r : *runs) batch.runs.push_back({(fs::path(D) / r.D).string(), std::move(r.run)});
  }
  restore();
  return batch;
}

// FICurves, with the filtering and the spike scans of the sweeps taken from
// `ahead` where it made them.
Result<FIRun> RunFI(Session& session, const Settings& settings, const fs::path& resultDir, WarningSink& warnings,
                    const ShownWindows& shown, ScanAhead* ahead) {
  FIRun run;
  Recording& rec = session.rec;
  if (Status s = ReadFormatHeaders(session, settings, warnings); !s) {
    run.stopped = s.error().What();
    return run;
  }
  if (auto nothing = NothingLoaded(session, settings.format)) {
    run.stopped = *nothing;
    return run;
  }
  if (settings.fi.ToBeAbove > session.Bridge) {
    run.stopped = fmt::format("Bridge {} is below \"to be > \" {}", session.Bridge, settings.fi.ToBeAbove);
    return run;
  }
  auto files = ResultFileSet::Open(resultDir, settings.fi.AppendOutput, warnings);
  if (!files) return files.error();
  if (!ahead || !ahead->Filters()) FilterLoadedSweeps(session, settings);

  // nFiles is read anew each time: the old column format starts from 25 and
  // learns the real number of sweeps from the columns of the first read.
  for (int j = 1; j <= rec.nFiles; ++j) {
    warnings.Progress(j, rec.nFiles, fmt::format("F-I: sweep {} of {}", j, rec.nFiles));
    // One read, draw and detection per sweep: running them twice, as picking
    // the sweep and then analysing it would, leaves the same state.
    ScanAhead::Scanned* scanned = ahead ? ahead->Take(j) : nullptr;
    auto drawn = ReadAndDraw(session, j, settings, warnings, shown, scanned ? &scanned->spikes : nullptr);
    if (!drawn) {
      run.stopped = drawn.error().What();
      return run;
    }
    // A sweep without detection was drawn with an empty list.
    SpikeList& spikes = session.spikes;
    const TrainFI train = AnalyseTrain(spikes, rec.tOn, rec.tOff, settings.fi);
    const FISweep sweep{drawn->slot, session.gClamped, session.iClamped, spikes.nSpikes, train.nTrain, train.nuLast};
    PlotSweepFI(session.charts.fiCurrent, session.charts.fiConductance, spikes, sweep);
    const double tau_m = TauM(rec.par, settings.format);
    const SweepResults results{sweep.Gclamp, sweep.Iclamp, tau_m, rec.tOn, rec.tOff, sweep.nuLast};
    // Lines formed ahead serve only for the very values the run has.
    const bool formed = scanned && scanned->results == results;
    if (Status s = formed ? files->Append(scanned->lines) : files->Append(results, spikes); !s) return s.error();
    run.sweeps.push_back(sweep);
    run.names.push_back(drawn->slot < static_cast<int>(rec.FileNames.size()) ? rec.FileNames[drawn->slot] : "");
  }
  return run;
}

}  // namespace

Result<FIRun> FICurves(Session& session, const Settings& settings, const std::filesystem::path& resultDir,
                       WarningSink& warnings, const ShownWindows& shown) {
  return RunFI(session, settings, resultDir, warnings, shown, nullptr);
}

Result<FIRun> FICurvesOfSelection(Session& session, const Settings& settings, const std::vector<int>& selected,
                                  const std::filesystem::path& resultDir, WarningSink& warnings) {
  ScanAhead ahead(settings);
  if (Status s = LoadSelection(session, settings, selected, warnings, &ahead); !s) return s.error();
  return RunFI(session, settings, resultDir, warnings, {}, &ahead);
}

Result<std::vector<BatchDir>> FICurvesPerFile(Session& session, const Settings& settings, const fs::path& resultDir,
                                              WarningSink& warnings, const ShownWindows& shown) {
  std::vector<BatchDir> runs;
  Settings each = settings;
  for (std::size_t first = 0; first < session.listed.size();) {
    const std::string file = session.listed[first].second;
    std::vector<int> selected;
    std::size_t next = first;
    for (; next < session.listed.size() && session.listed[next].second == file; ++next)
      if (selected.size() < static_cast<std::size_t>(kMaxSweeps)) selected.push_back(static_cast<int>(next));
    if (next - first > selected.size())
      warnings.Warn(fmt::format("{}: {} sweeps; the first {} are analysed", (session.dataDir / file).string(),
                                next - first, selected.size()));
    first = next;
    FIRun run;
    if (Status s = LoadSelection(session, each, selected, warnings); !s) {
      run.stopped = s.error().What();  // it names the file
      warnings.Warn(run.stopped);
    } else {
      auto done = FICurves(session, each, resultDir, warnings, shown);
      if (!done) return done.error();
      run = std::move(*done);
      each.fi.AppendOutput = true;  // the later files add to the first one's records
      if (!run.stopped.empty()) warnings.Warn(fmt::format("{}: {}", file, run.stopped));
    }
    runs.push_back({file, std::move(run)});
  }
  return runs;
}

Result<BatchRun> TreatAllDirs(Session& session, const Settings& settings, const fs::path& curDir, WarningSink& warnings,
                              const ShownWindows& shown) {
  auto names = SortedEntries(curDir);
  if (!names) return names.error();
  BatchRun batch;
  batch.dirs = ListBatchDirs(*names);
  if (batch.dirs.kind == DirKind::None) batch.dirs = ListAbfDirs(curDir, *names);
  const DirKind kind = batch.dirs.kind;
  if (kind == DirKind::None) return batch;
  const bool agrees = (kind == DirKind::OldColumns && settings.format == FileFormat::OldVarnel) ||
                      (kind == DirKind::NewColumns && settings.format == FileFormat::NewVarnel) ||
                      (kind == DirKind::Abf && settings.format == FileFormat::Main);
  if (kind == DirKind::Abf) {
    // The column readers cannot read them: they are read as the list of files reads them.
    if (agrees) return TreatAbfDirs(session, settings, curDir, std::move(batch), warnings, shown);
    warnings.Warn(fmt::format("{}: the directories found hold {}; they are read as with \"Tarnby's format\"",
                              curDir.string(), KindName(kind)));
    Settings main = settings;
    main.format = FileFormat::Main;
    return TreatAbfDirs(session, main, curDir, std::move(batch), warnings, shown);
  }
  if (!agrees)
    warnings.Warn(fmt::format("{}: the directories found are of the {}, but another format is chosen; they are "
                              "read in the chosen one",
                              curDir.string(), KindName(kind)));
  const int nDirs = static_cast<int>(batch.dirs.DirList.size());
  for (int k = 1; k <= nDirs; ++k) {
    const std::string& D = batch.dirs.DirList[k - 1];
    batch.label = FileNumberLabel(k);
    warnings.Progress(k, nDirs, batch.label);
    session.files = BatchFiles(curDir, D, kind);
    auto run = FICurves(session, settings, curDir, warnings, shown);
    if (!run) return run.error();
    if (!run->stopped.empty()) warnings.Warn(fmt::format("{}: {}", D, run->stopped));
    batch.runs.push_back({D, std::move(*run)});
  }
  return batch;
}

}  // namespace velmora
