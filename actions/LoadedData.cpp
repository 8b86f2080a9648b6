#include "actions/LoadedData.h"

#include <fmt/format.h>

namespace velmora {

namespace fs = std::filesystem;

void UnloadData(Session& session) {
  Recording& rec = session.rec;
  rec.nFiles = 0;
  rec.iFile = 1;
  rec.traces.Empty();
  rec.FileNames.clear();
  rec.currentFile.clear();
  rec.FileNo = 0;
  const unsigned long generation = session.loaded.generation;
  session.loaded = LoadedData{};
  session.loaded.generation = generation;
  session.spikes = SpikeList();
  session.StimTimes.clear();
  // The records keep their arrays; what they describe goes.
  session.FC.slot = 0;
  session.FC.nLast = -1;
  session.pulses.nPulses = session.pulses.nFlaws = session.pulses.slot = 0;
  session.averages = Averages();
  session.gClamped = session.iClamped = session.Bridge = 0;

  Charts& charts = session.charts;
  for (Chart* c : {&charts.voltage, &charts.current, &charts.lfp, &charts.overlay, &charts.stimulus})
    ClearAllSeries(*c);
  FiringClampCharts& fc = session.fcCharts;
  EstimationCharts& e = fc.estimations;
  for (Chart* c : {&fc.time, &e.current, &e.conductance, &e.voltage, &e.z}) ClearAllSeries(*c);
}

void ChangeDataDirectory(Session& session, const fs::path& dir) {
  if (dir == session.dataDir) return;
  UnloadData(session);
  // The calibration, its fit and their charts belong to the directory's
  // calibration file; the correlation charts collect its pulses.
  session.approx = ApproxState();
  session.lattice = Lattice();
  FiringClampCharts& fc = session.fcCharts;
  for (Chart* c : {&fc.vsI, &fc.vsG, &fc.comparison.first, &fc.comparison.second, &fc.lattice1.map, &fc.lattice2.map})
    ClearAllSeries(*c);
  session.dataDir = dir;
  session.listed.clear();
}

Result<std::vector<int>> ListedSelection(Session& session, const fs::path& dir, const std::vector<std::string>& names,
                                         WarningSink& warnings) {
  ChangeDataDirectory(session, dir);
  std::error_code ec;
  const bool hasList = fs::exists(dir / "ListOfFiles", ec);
  auto listed = ReadListOfFiles(dir, session.homeDir, session.rec, warnings);
  if (!listed) return listed.error();
  session.listed = std::move(*listed);
  // Without a list, the sweeps of the directory's ABF and ATF files are listed.
  if (session.listed.empty() && !hasList)
    return Error{dir.string(), 0, "",
                 "no \"ListOfFiles\" and no readable ABF or ATF file here; for column files choose the old or "
                 "new column format"};
  return SelectRecordings(session.listed, names, dir);
}

void MarkLoaded(Session& session, FileFormat format, const LoadSettings& load) {
  LoadedData& loaded = session.loaded;
  loaded.dataDir = format == FileFormat::Main ? session.dataDir : fs::path(session.files.CurDir);
  loaded.format = format;
  loaded.load = load;
  ++loaded.generation;
}

std::optional<std::string> NothingLoaded(const Session& session, FileFormat format) {
  if (format != FileFormat::Main) {
    if (session.files.VoltFile.empty()) return "no column files are chosen: choose them with \"ReadAndDrawData\"";
    return std::nullopt;
  }
  if (session.rec.nFiles > 0 && session.loaded.dataDir == session.dataDir && session.loaded.format == format)
    return std::nullopt;
  return fmt::format("nothing is loaded from {}: select recordings in the list of files first",
                     session.dataDir.string());
}

}  // namespace velmora
