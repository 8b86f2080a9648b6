#include "spikes/Batch.h"

#include <fmt/format.h>

#include <algorithm>

namespace velmora {

namespace fs = std::filesystem;

namespace {

bool Contains(std::string_view s, std::string_view part) { return s.find(part) != std::string_view::npos; }

std::string_view KindName(DirKind kind) {
  return kind == DirKind::OldColumns ? "old column format (\"_gst\")" : "new column format (\"gs1\")";
}

}  // namespace

Result<std::vector<std::string>> SortedEntries(const fs::path& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  if (ec) return Error{dir.string(), 0, "", "cannot list the directory: " + ec.message()};
  std::sort(names.begin(), names.end());
  return names;
}

BatchDirs ListBatchDirs(const std::vector<std::string>& names) {
  BatchDirs dirs;
  for (std::string N : names) {
    if (Contains(N, "_gst")) {
      N.resize(N.size() - 4);
      dirs.DirList.push_back(N);
      dirs.kind = DirKind::OldColumns;
    }
    if (Contains(N, "gs1")) {
      dirs.DirList.push_back(N);
      dirs.kind = DirKind::NewColumns;
    }
  }
  return dirs;
}

VarnelFiles BatchFiles(const fs::path& curDir, const std::string& D, DirKind kind) {
  VarnelFiles files;
  files.CurDir = (curDir / "").string();
  if (kind == DirKind::OldColumns) {
    const fs::path dir = curDir / (D + "_gst");
    files.VoltFile = (dir / (D + "_gst_voltage.txt")).string();
    files.CurrFile = (dir / (D + "_gst_current.txt")).string();
    files.HeaderFile = (dir / (D + "_gst_header.txt")).string();
  } else if (kind == DirKind::NewColumns) {
    const fs::path dir = curDir / D;
    files.VoltFile = (dir / "voltage.txt").string();
    files.CurrFile = (dir / "current.txt").string();
    files.HeaderFile = (dir / "parameters.txt").string();
    files.GESeqFile = (dir / "GE_sequence.txt").string();
  }
  return files;
}

std::string FileNumberLabel(int k) { return fmt::format("File number={:3}", k); }

Result<BatchRun> TreatAllDirs(Session& session, Settings& settings, const fs::path& curDir, WarningSink& warnings) {
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
    auto run = FICurves(session, settings, curDir, warnings);
    if (!run) return run.error();
    if (!run->stopped.empty()) warnings.Warn(fmt::format("{}: {}", D, run->stopped));
    batch.runs.push_back({D, std::move(*run)});
  }
  return batch;
}

}  // namespace velmora
