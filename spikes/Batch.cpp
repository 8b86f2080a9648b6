#include "spikes/Batch.h"

#include <fmt/format.h>

#include <algorithm>

#include "recording/AbfSweeps.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

bool Contains(std::string_view s, std::string_view part) { return s.find(part) != std::string_view::npos; }


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

BatchDirs ListAbfDirs(const fs::path& curDir, const std::vector<std::string>& names) {
  BatchDirs dirs;
  for (const std::string& N : names) {
    const fs::path dir = curDir / N;
    std::error_code ec;
    if (!fs::is_directory(dir, ec) || fs::exists(dir / "ListOfFiles", ec)) continue;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
      if (IsAbfFileName(it->path().filename().string())) {
        dirs.DirList.push_back(N);
        dirs.kind = DirKind::Abf;
        break;
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

}  // namespace velmora
