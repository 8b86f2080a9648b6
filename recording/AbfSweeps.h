#pragma once
// ABF and ATF recordings among the main format's: every sweep of such a file
// is one entry of the list of files ("cell01.abf #3") and loads as the same
// samples would, written in the main format with one parameter file per sweep.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/Errors.h"
#include "base/WarningSink.h"
#include "recording/Abf.h"
#include "recording/Recording.h"
#include "recording/TraceFile.h"

namespace velmora {

// Whether the file name ends in ".abf" or ".atf", in any case.
bool IsAbfFileName(std::string_view name);

// "cell01.abf #3" for sweep 2 (0-based) of "cell01.abf"; the directory stays.
std::string AbfSweepName(std::string_view file, int sweep);

struct AbfSweepRef {
  std::string file;
  int sweep = 0;  // 0-based
};
// The file and sweep of a name that AbfSweepName made; nothing for another name.
std::optional<AbfSweepRef> ParseAbfSweepName(std::string_view name);

// The file whole, as rec.raw keeps it from the last read while the file is
// unchanged on disk; otherwise read again (and counted in tracesParsed).
Result<std::shared_ptr<const AbfFile>> KeptAbf(Recording& rec, const std::filesystem::path& file,
                                               WarningSink& warnings);

// What a parameter file of the sweep would hold: dtPar the sample interval,
// TimeFactor 1, nPar and Duration the sweep's length, CmdScale 1; for a step
// (StimulusOfSweep) ProtocolKind 2 with tStimStart, tStimEnd, I0, Ifirst,
// Ilast and nSteps, otherwise ProtocolKind 0 with the whole sweep as window.
RecordingParameters AbfSweepParameters(const AbfFile& abf, int sweep);

// The raw read of one sweep: rec.par from AbfSweepParameters, and sample k
// of the sweep as raw sample k at time (k + 1) dt, as a text trace would
// hold it: V from the voltage channel, Icom the rebuilt command (0 where it
// cannot be rebuilt), Ireal the current channel or, without one, Icom.
// The channels are chosen by unit unless `settings` names them; the raw
// cap holds with its warning. What concerns the whole file (the command
// standing in for the current, a command that cannot be rebuilt) is said
// when the file is read, not at every sweep.
Status ReadAbfSweep(Recording& rec, const AbfSweepRef& ref, const LoadSettings& settings, WarningSink& warnings);

// ChooseChannels with the channels `settings` names (-1: by unit).
Result<AbfChannelChoice> ChosenChannels(const AbfFile& abf, const LoadSettings& settings);

// "step", "ramp", ... for an epoch type; "type N" for another code.
std::string EpochTypeName(int type);

// What a user list replaces: "level", "duration", "pulse period", "pulse width".
const char* ReplacedName(AbfUserList::Replaces what);

}  // namespace velmora
