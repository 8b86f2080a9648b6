#pragma once
// The F-I analysis as the user runs it: over the loaded sweeps ("F_I_curves")
// and over every experiment directory of the column formats ("TreatAllDirs").

#include <filesystem>
#include <string>
#include <vector>

#include "actions/ReadAndDraw.h"
#include "base/Errors.h"
#include "base/WarningSink.h"
#include "session/Session.h"
#include "session/Settings.h"
#include "spikes/Batch.h"
#include "spikes/FICurves.h"

namespace velmora {

struct FIRun {
  std::vector<FISweep> sweeps;  // analysed and written, in slot order
  // Why the run analysed nothing or stopped before its last sweep (a read
  // that failed, no sweep loaded, the bridge condition); empty otherwise.
  std::string stopped;
};

// The F-I analysis over slots 1..nFiles in the chosen format, the eleven
// result files kept in `resultDir`, which the run holds (see ResultFileSet)
// from its first record to its end. A result file that cannot be opened or
// written ends the run with its Error, the eleven files cut back to where
// the run started. A failed read ends it with FIRun::stopped, the records
// written before staying.
Result<FIRun> FICurves(Session& session, const Settings& settings, const std::filesystem::path& resultDir,
                       WarningSink& warnings, const ShownWindows& shown = {});

// The main format's F-I run over the recordings selected in the list of
// files (entries of session.listed): LoadSelection, then FICurves. The
// selection is not drawn first, since the run reads, draws and detects
// every sweep itself. A failed load is its Error.
Result<FIRun> FICurvesOfSelection(Session& session, const Settings& settings, const std::vector<int>& selected,
                                  const std::filesystem::path& resultDir, WarningSink& warnings);

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
Result<BatchRun> TreatAllDirs(Session& session, const Settings& settings, const std::filesystem::path& curDir,
                              WarningSink& warnings, const ShownWindows& shown = {});

}  // namespace velmora
