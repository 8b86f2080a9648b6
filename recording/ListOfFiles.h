#pragma once
// A data directory's "ListOfFiles" (pairs of lines: a trace file, then a
// second file that belongs to it) or, without one, its ABF and ATF sweeps;
// "PreviousDir.txt", and what the parameters window shows.

#include <filesystem>
#include <string>
#include <vector>

#include "recording/Abf.h"
#include "recording/Recording.h"
#include "recording/TraceFile.h"
#include "base/Errors.h"
#include "base/WarningSink.h"

namespace velmora {

struct ListedRecording {
  std::string trace;   // line 1 of the pair: what the list of files shows; "cell01.abf #3" for an ABF sweep
  std::string second;  // line 2; empty for an odd last line; the file of an ABF sweep
};

// Reads dataDir/"ListOfFiles" (LF or CR LF), sets rec.nListed, reads the
// last second name as a parameter file into rec.par (relative to dataDir
// unless absolute; a fault in it is a warning, the list loads all the same),
// and writes dataDir as the only line of homeDir/"PreviousDir.txt" (CR LF;
// nothing is written for an empty homeDir: the file is the desktop
// program's memory). An absent list gives an empty one and nListed 0, no
// error, and leaves "PreviousDir.txt" alone. A list that is not a regular
// file, or has a line or a size beyond what a list holds, is an Error.
// Without a list, every sweep of the directory's *.abf and *.atf files is
// an entry ("cell01.abf #3", see AbfSweeps.h), sorted by file name, then
// sweep; a file that cannot be read is a warning and is not listed.
Result<std::vector<ListedRecording>> ReadListOfFiles(const std::filesystem::path& dataDir,
                                                     const std::filesystem::path& homeDir, Recording& rec,
                                                     WarningSink& warnings);

// The entries of the list named in `names` (by the listed name or its file
// name), 0-based, in the order given; every entry when `names` is empty. A
// name not listed is an Error naming dataDir's "ListOfFiles".
Result<std::vector<int>> SelectRecordings(const std::vector<ListedRecording>& listed,
                                          const std::vector<std::string>& names, const std::filesystem::path& dataDir);

// The first line of homeDir/"PreviousDir.txt", or empty.
std::string PreviousDir(const std::filesystem::path& homeDir);

// Deletes the two files of each selected entry (0-based indices into the
// list) and rewrites "ListOfFiles" (CR LF, replaced in one step) without
// their lines; the caller reads the list again. Only files that resolve
// inside dataDir are deleted; any other name is reported as not deleted.
// A file that cannot be deleted loses its lines all the same, silently.
// Without "ListOfFiles" (ABF sweeps) nothing is deleted: an Error says so.
Status DeleteSelectedRecordings(const std::filesystem::path& dataDir, const std::vector<int>& selected,
                                WarningSink& warnings);

// The lines of a parameter file as the parameters window shows them: odd
// lines (labels) and even lines (values). A missing file gives two empty lists.
struct ParameterLines {
  std::vector<std::string> labels, values;
};
ParameterLines ShowParameterFile(const std::filesystem::path& parFile);

// What the parameters window shows for the sweep of an ABF or ATF file (0-based;
// -1: none): the header fields that matter (format and version, operation
// mode, sample interval, sweeps, channels with units and which holds the
// voltage and the current under `settings`, the command DAC with its epochs
// and user list) and the stimulus the sweep is analysed with.
ParameterLines ShowAbfHeader(const AbfFile& abf, int sweep, const LoadSettings& settings);

}  // namespace velmora
