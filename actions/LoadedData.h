#pragma once
// The loaded data and what derives from it: a change of data directory
// unloads, and an action that needs loaded sweeps says when there are none
// from the current directory rather than working on older ones.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "base/WarningSink.h"
#include "session/Session.h"

namespace velmora {

// Makes `dir` the data directory. What was loaded from another one is
// unloaded, and the calibration's fit and charts of the other directory go.
void ChangeDataDirectory(Session& session, const std::filesystem::path& dir);

// Makes `dir` the data directory, reads its "ListOfFiles" (without one, the
// sweeps of its ABF and ATF files) into session.listed and returns the
// entries named in `names` (by the listed name or its file name, an ABF or
// ATF file's name for all its sweeps; every entry when there are none).
// Errors: neither a list nor such files in `dir`, a list that cannot be
// read, a name not listed.
Result<std::vector<int>> ListedSelection(Session& session, const std::filesystem::path& dir,
                                         const std::vector<std::string>& names, WarningSink& warnings);

// Unloads the sweeps and clears what derives from them: markers, spikes,
// the firing-clamp sweep and its estimates. The calibration's charts and fit,
// which collect over recordings, and the F-I charts, which collect the runs
// until the user clears them, stay.
void UnloadData(Session& session);

// Records that the sweeps now loaded were read from the current directory
// (or, for the column formats, from the chosen files) with `load`.
void MarkLoaded(Session& session, FileFormat format, const LoadSettings& load);

// Why an action on the loaded sweeps cannot run, as the warnings window
// says it; nothing when sweeps of the current directory (or chosen column
// files) are loaded.
std::optional<std::string> NothingLoaded(const Session& session, FileFormat format);

}  // namespace velmora
