#pragma once
// Trace files of the main format, text and "_b" binary, and the sweep load
// that turns the raw channels into one slot of the loaded sweeps.

#include <filesystem>
#include <string>
#include <string_view>

#include "recording/Recording.h"
#include "base/Errors.h"
#include "base/WarningSink.h"

namespace velmora {

struct LoadSettings {
  double t0 = 0;  // ms, "Analyze since t0"
  // "Lost parameters": the waveform kind of a firing-clamp file that does not give its own.
  LostParameters lost = LostParameters::ISinGConst;
  // The channels of an ABF or ATF file that hold the membrane voltage and
  // the measured current; -1: chosen by their units.
  int voltageChannel = -1;
  int currentChannel = -1;
};

// The warning of a raw read that stops at kMaxRawSamples.
std::string SampleCapMessage(const std::string& file);

// The sweep number written between "trace" and "_Err" of the trace's file name.
Result<int> FileNumber(std::string_view traceName);

// The raw read: the trace (text) or, when it does not exist, the trace + "_b"
// (binary) into rec.raw, then the side files. Sets nRaw, Duration, and for a
// binary trace dtPar and LfpPresent. A trace missing under both names is an
// Error and leaves the raw channels as they were.
Status ReadTrace(Recording& rec, const std::filesystem::path& trace, WarningSink& warnings);

// The parameter file of the trace, then the trace itself; for the sweep of
// an ABF or ATF file ("cell01.abf #3", see AbfSweeps.h) the file's sweep,
// read with the channels of `settings`.
Status LoadSweepFiles(Recording& rec, const std::filesystem::path& trace, WarningSink& warnings,
                      const LoadSettings& settings = {});

// Takes the raw channels read last into slot `slot` (1..50) with dt, t0,
// nLast, the stimulus window and the step values of the sweep, and keeps
// with the slot what RestoreSweep needs (SweepReading: the parameters and,
// for a recording with an LFP, its LFP samples up to nLast). The voltage and
// currents may move rather than be copied: the raw channels are spent, and a
// second slot needs the files read again.
Status LoadSweep(Recording& rec, int slot, const LoadSettings& settings, WarningSink& warnings);

// Keeps with slot `slot` what RestoreSweep needs, from the recording state
// as its load has just set it (rec.currentFile names the trace): the
// parameters, dt, t0, FileNo, the stimulus window, Vref, Gain, the slot's
// step values and, for a recording with an LFP, its samples up to nLast.
// `fileWaveKind`: the waveform kind as the parameter file gave it, before
// "Lost parameters" reconciled it.
void KeepReading(Recording& rec, int slot, const LoadSettings& settings, int fileWaveKind);

// What the load of the slot kept, when it holds FileNames[slot] cut as
// these settings cut it (the same "Analyze since t0" and choice of whether
// Ireal is absent); null otherwise.
const SweepReading* KeptReading(const Recording& rec, int slot, const LoadSettings& settings);

// Sets the recording state as reading FileNames[slot] again would (parameters,
// dt, t0, FileNo, tOn, tOff, Vref, Gain, the step values of the slot, the
// file name, the LFP; settings.lost reconciled for a firing-clamp sweep) from
// what its load kept, without reading a file. False, changing nothing,
// without a KeptReading: then the files must be read.
// The slot's samples are left as they are, filtered or not.
bool RestoreSweep(Recording& rec, int slot, const LoadSettings& settings);

// Reads FileNames[slot] again and reloads its slot; an empty name changes nothing.
Status ReloadSweep(Recording& rec, int slot, const LoadSettings& settings, WarningSink& warnings);

}  // namespace velmora
