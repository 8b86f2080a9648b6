#pragma once
// The batch over directories: the F-I analysis once for every experiment
// directory of the column formats found in the data directory, all results
// going into the data directory's result files.

#include <filesystem>
#include <string>
#include <vector>

#include "recording/AltFormats.h"
#include "base/Errors.h"
#include "base/WarningSink.h"

namespace velmora {

// Which column format the listing found: the kind of the last matching
// entry holds for every directory of the batch.
// Directories of ABF or ATF files (Abf) are looked for only where none of
// the column formats is found.
enum class DirKind { None = 0, OldColumns = 1, NewColumns = 2, Abf = 3 };

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

// The entries of `curDir` (names as listed) that are directories holding
// ABF or ATF files and no "ListOfFiles": their sweeps are listed as the list
// of files lists them.
BatchDirs ListAbfDirs(const std::filesystem::path& curDir, const std::vector<std::string>& names);

// The files the column readers read for directory D of `curDir`.
VarnelFiles BatchFiles(const std::filesystem::path& curDir, const std::string& D, DirKind kind);

// Files the user named in place of those ColumnFilesIn finds; empty: found.
struct ColumnFileNames {
  std::string voltage, current, header;
};

// The files of the column-format experiment in `dir` (its CurDir). New
// format: "voltage.txt", "current.txt", "parameters.txt", "GE_sequence.txt".
// Old format: the one "<name>_voltage.txt" (the batch names it
// "<D>_gst_voltage.txt") with "_current.txt" and "_header.txt" beside it;
// without that header the reader takes "g_Clamped" as 15. Errors: no or
// several "*_voltage.txt", a voltage file named otherwise without a current file.
Result<VarnelFiles> ColumnFilesIn(const std::filesystem::path& dir, FileFormat format,
                                  const ColumnFileNames& named = {});

// "File number=" and k right-aligned in three characters.
std::string FileNumberLabel(int k);

}  // namespace velmora
