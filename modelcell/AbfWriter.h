#pragma once
// ABF 2 files of known content: episodic sweeps with a command epoch table,
// so that the reader and the stimulus mapping can be checked against values
// that are known exactly, and recordings of the model cell can be handed to
// programs that read ABF.

#include <filesystem>
#include <string>
#include <vector>

#include "modelcell/Synth.h"
#include "recording/Abf.h"
#include "base/Errors.h"
#include "base/WarningSink.h"

namespace velmora {

struct AbfWriteChannel {
  std::string name, unit;
  std::vector<std::vector<double>> sweeps;  // every sweep the same length
};

struct AbfContent {
  double dt = 0.05;      // ms between two samples of one channel
  bool float32 = false;  // float32 samples instead of int16
  std::vector<AbfWriteChannel> channels;
  // DAC 0: name, unit, holding level, nInterEpisodeLevel and the epochs
  // (played from the epoch table; the number is taken from the position).
  AbfDac dac;
};

// int16 samples get one gain and offset per channel, spanning its range, so
// that they read back within half a count. Errors name the fault in the content.
Status WriteAbf2(const std::filesystem::path& path, const AbfContent& content);

// The steps protocol of `s` as one ABF 2 file: channels "Vm" (mV) and
// "Imeas" (pA) of every sweep (written with their samples kept), DAC 0 in pA
// with epoch A at 0 pA up to tStimStart and epoch B from Ifirst, stepping up
// per sweep, until tStimEnd. The file holds no conductance: a G0 step is
// reported to `warnings`.
Status WriteStepsAbf(const std::filesystem::path& path, const SynthSettings& s, const std::vector<SynthSweep>& sweeps,
                     WarningSink& warnings);

}  // namespace velmora
