#include "actions/FiRun.h"

#include <fmt/format.h>

#include <cmath>
#include <variant>

#include "actions/LoadedData.h"
#include "actions/ReadAndDraw.h"
#include "spikes/ResultFiles.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

constexpr int kTauMField = 57;  // parameter-file field of tau_m

// tau_m of the current-step protocol, as its parameter file stores it; 0
// without one. The column formats have no parameter file: a tau_m left by
// an earlier main-format recording is not theirs.
double TauM(const RecordingParameters& par, FileFormat format) {
  if (format != FileFormat::Main) return 0;
  const auto it = par.stored.find(kTauMField);
  if (it == par.stored.end()) return 0;
  if (const double* x = std::get_if<double>(&it->second)) return *x;
  if (const long* n = std::get_if<long>(&it->second)) return static_cast<double>(*n);
  return 0;
}

std::string_view KindName(DirKind kind) {
  return kind == DirKind::OldColumns ? "old column format (\"_gst\")" : "new column format (\"gs1\")";
}

}  // namespace

Result<FIRun> FICurves(Session& session, const Settings& settings, const std::filesystem::path& resultDir,
                       WarningSink& warnings, const ShownWindows& shown) {
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
  FilterLoadedSweeps(session, settings);

  // nFiles is read anew each time: the old column format starts from 25 and
  // learns the real number of sweeps from the columns of the first read.
  for (int j = 1; j <= rec.nFiles; ++j) {
    warnings.Progress(j, rec.nFiles, fmt::format("F-I: sweep {} of {}", j, rec.nFiles));
    // One read, draw and detection per sweep: running them twice, as picking
    // the sweep and then analysing it would, leaves the same state.
    auto drawn = ReadAndDraw(session, j, settings, warnings, shown);
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
    if (Status s = files->Append(results, spikes); !s) return s.error();
    run.sweeps.push_back(sweep);
  }
  return run;
}

Result<FIRun> FICurvesOfSelection(Session& session, const Settings& settings, const std::vector<int>& selected,
                                  const std::filesystem::path& resultDir, WarningSink& warnings) {
  if (Status s = LoadSelection(session, settings, selected, warnings); !s) return s.error();
  return FICurves(session, settings, resultDir, warnings);
}

Result<BatchRun> TreatAllDirs(Session& session, const Settings& settings, const fs::path& curDir, WarningSink& warnings,
                              const ShownWindows& shown) {
  auto names = SortedEntries(curDir);
  if (!names) return names.error();
  BatchRun batch;
  batch.dirs = ListBatchDirs(*names);
  const DirKind kind = batch.dirs.kind;
  if (kind == DirKind::None) return batch;
  const bool agrees = (kind == DirKind::OldColumns && settings.format == FileFormat::OldVarnel) ||
                      (kind == DirKind::NewColumns && settings.format == FileFormat::NewVarnel);
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
