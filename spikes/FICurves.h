#pragma once
// F-I curves: for every loaded sweep, the spike count and firing rates
// against the clamp current and conductance, plotted into the F-I charts and
// appended to the result files.

#include <filesystem>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "charts/Chart.h"
#include "base/WarningSink.h"
#include "spikes/Spikes.h"

namespace velmora {

// Group "F-I-curves " and the fields beside it.
struct FISettings {
  double LimitInterval = 8888888;     // ms, "Limit interval for analysis by ... ms"
  bool CutTrain = true;               // "Cut spike train if ISI changes in ... times"
  double CutFactor = 5;               // its field
  double nuLastMinSpikes = 2;         // "Calculate  nu_Last  if number of spikes >"
  bool nuLastLastThird = false;       // "Calculate nu_Last  on last 1/3 of stim. period"
  bool nuLastLastTwoThirds = false;   // "Calculate nu_Last  on last 2/3 of stim. period"
  bool nuLastZeroOnBreak = false;     // "nu_Last=0 if a break in spike train occurs"
  bool ZeroOnBreak = false;           // "VT etc. = 0  if a break occurs"
  double ToBeAbove = 0;               // "to be > " (least bridge value)
  bool AppendOutput = true;           // "Append output files" (else "Rewrite output files")
};

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
void PlotSweepFI(Chart& fiCurrent, Chart& fiConductance, const SpikeList& spikes, const FISweep& sweep);

}  // namespace velmora
