#pragma once
// F-I curves: for every loaded sweep, the spike count and firing rates
// against the clamp current and conductance, plotted into the F-I charts and
// appended to the result files.

#include <filesystem>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "session/Session.h"
#include "session/Settings.h"
#include "base/WarningSink.h"
#include "spikes/Spikes.h"

namespace velmora {

// 1/x for intervals of at least 1 ms, else 0 (x in s, the result in Hz).
double InverseInterval(double x);

// What the train options make of one sweep's spike list.
struct TrainFI {
  int nTrain = 0;       // spikes of the unbroken train
  double nuLast = 0;    // Hz, late firing rate
  bool broken = false;  // nTrain != nSpikes
};

// The interval limit, the break rule, nu_Last and the zeroing options on the
// spike list of one sweep. May lower spikes.nSpikes and tOff (ms), and zero
// the spike parameters of a broken train; tOn in ms.
TrainFI AnalyseTrain(SpikeList& spikes, double tOn, double& tOff, const FISettings& settings);

// One analysed sweep, as the summary table shows it.
struct FISweep {
  int slot = 0;
  double Gclamp = 0;  // nS
  double Iclamp = 0;  // pA
  int nSpikes = 0;
  int nTrain = 0;
  double nuLast = 0;  // Hz
};

// Adds the sweep's points to the F-I charts (nothing for a sweep without
// spikes); the series accumulate over runs until the user clears them.
void PlotSweepFI(Charts& charts, const SpikeList& spikes, const FISweep& sweep);

struct FIRun {
  std::vector<FISweep> sweeps;  // analysed and written, in slot order
  // Why the run analysed nothing or stopped before its last sweep (a read
  // that failed, no sweep loaded, the bridge condition); empty otherwise.
  std::string stopped;
};

// The F-I analysis over slots 1..nFiles in the chosen format, the eleven
// result files kept in `resultDir`. A result file that cannot be opened,
// written or closed ends the run with its Error; the records written before
// stay. A failed read ends it with FIRun::stopped.
Result<FIRun> FICurves(Session& session, Settings& settings, const std::filesystem::path& resultDir,
                       WarningSink& warnings);

// The main format's F-I run over the recordings selected in the list of
// files (entries of session.listed): LoadSelection, then FICurves. The
// selection is not drawn first, since the run reads, draws and detects
// every sweep itself. A failed load is its Error.
Result<FIRun> FICurvesOfSelection(Session& session, Settings& settings, const std::vector<int>& selected,
                                  const std::filesystem::path& resultDir, WarningSink& warnings);

}  // namespace velmora
