#pragma once
// The batch over directories: the F-I analysis once for every experiment
// directory of the column formats found in the data directory, all results
// going into the data directory's result files.

#include <filesystem>
#include <string>
#include <vector>

#include "recording/AltFormats.h"
#include "base/Errors.h"
#include "session/Session.h"
#include "session/Settings.h"
#include "base/WarningSink.h"
#include "spikes/FICurves.h"

namespace velmora {

// Which column format the listing found: the kind of the last matching
// entry holds for every directory of the batch.
enum class DirKind { None = 0, OldColumns = 1, NewColumns = 2 };

struct BatchDirs {
  std::vector<std::string> DirList;  // D of each directory, in listing order
  DirKind kind = DirKind::None;
};

// The names of the entries of `dir`, directories and files alike, sorted by
// name so that runs are reproducible.
Result<std::vector<std::string>> SortedEntries(const std::filesystem::path& dir);

// Entry names (in listing order) to directories: a name containing "_gst"
// loses its last four characters and is listed as the old kind; then the
// name as it now stands, when it contains "gs1", is listed as the new kind.
// A name passing both tests is listed twice.
BatchDirs ListBatchDirs(const std::vector<std::string>& names);

// The files the column readers read for directory D of `curDir`.
VarnelFiles BatchFiles(const std::filesystem::path& curDir, const std::string& D, DirKind kind);

// "File number=" and k right-aligned in three characters.
std::string FileNumberLabel(int k);

struct BatchDir {
  std::string D;
  FIRun run;
};

struct BatchRun {
  BatchDirs dirs;
  std::vector<BatchDir> runs;  // one per entry of dirs.DirList that was reached
  std::string label;           // the file-number label of the last directory reached
};

// Lists the entries of `curDir` sorted by name and runs the F-I analysis for
// each directory found, in the format of settings.format (a warning says when
// it is not the kind found), writing into curDir. A directory whose read
// fails is reported and the batch goes on; a result-file error ends it.
Result<BatchRun> TreatAllDirs(Session& session, Settings& settings, const std::filesystem::path& curDir,
                              WarningSink& warnings);

}  // namespace velmora
