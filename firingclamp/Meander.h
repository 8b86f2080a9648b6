#pragma once
// The meander pulse detector and the offline electrode compensation of a
// firing-clamp sweep: every sample is labelled with its meander state, and
// the voltage, current and conductance the cell saw are stored in FCRecord.

#include <string>
#include <string_view>

#include "firingclamp/FCRecord.h"
#include "recording/Recording.h"
#include "base/WarningSink.h"

namespace velmora {

struct EstimationsWindowSettings;

// What a meander pass with these settings reads of them.
CompensatedWith MeanderInputs(const CompensationSettings& compensation, const EstimationsWindowSettings& estimations);

// What the state machine reads besides the samples.
struct MeanderClock {
  int nPeriod = 1;  // samples per meander period, 1 or more
  int nPulse = 0;   // samples of the nominal positive pulse
  double Ipos = 0;  // pA, positive pulse
  double Vend = 0;  // mV, the negative pulse ends below it
};

// The delays in effect at one sample (samples).
struct MeanderDelays {
  int dI = 0;  // of the measured current
  int dT = 0;  // of the meander clock and the stimulus
  int dV = 0;  // of the voltage the switching level is tested on
};

struct MeanderTransition {
  MeanderState state = MeanderState::Nothing;
  bool periodFlaw = false;  // a period began before the previous meander had ended
};

// The delays set (the "delays" fields, truncated) as in effect at sample i: each
// is 0 while i <= it (and a negative one is 0), so that a delayed sample
// index is never below 0.
MeanderDelays EffectiveDelays(MeanderDelays delays, int i);

// One transition of the meander state machine at sample i >= 1 of `sweep`,
// from the state `prev` of sample i - 1. Reads sweep.Ireal[i - d.dI] and
// sweep.V[i - d.dV]; the caller keeps both inside the sweep.
MeanderTransition MeanderStep(const SweepSlot& sweep, const MeanderClock& clock, int i, MeanderDelays d,
                              MeanderState prev);

// pA: 0, +Ipos or -Ineg by the state.
double MeanderCurrent(MeanderState state, const FCParsRec& fc);

// The state names ("Nothing", "DelayPositivePulse", ...). An unknown name is
// index 0; an index outside 0..9 is named "Nothing".
int StateIndex(std::string_view name);
std::string_view StateName(int index);

// How messages name slot k: its file name, or "slot k" when it has none.
std::string SweepName(const Recording& rec, int k);

// Truncation toward zero of a quotient into a count of samples; a quotient
// that is not a finite number within the int range gives 0 and false.
bool TruncCount(double x, int& count);

// Recomputes the meander counts of par.FCPars: nPeriod = trunc(1000 / Freq /
// dtPar), nPulse = trunc(Tpulse / dtPar), nStop = nPar - trunc(50 / dtPar).
// A quotient that is not a finite number within the int range (a zero Freq
// or dtPar) makes its count 0; the text returned names such counts, empty
// when every count was computed.
std::string ComputeMeanderCounts(RecordingParameters& par);

// The per-sample pass over slot k (1..kMaxSweeps) of `rec`, as loaded, with
// the compensation settings and mode, and the junction potential, offset
// current and Mg of the estimations window: the meander counts are
// recomputed from rec.par.FCPars, every sample 1..nLast is labelled and
// compensated into FC (its arrays sized nLast + 1), FC.Vend is set for what
// follows (the pass itself ends negative pulses at Vswitch), FC.madeWith
// records the settings read, and Ifile[k], Gfile[k] are corrected for the
// electrode. The command is that of rec.par and rec.FileNo, so slot k must
// be the sweep read last. Call it once per load of the slot: each call
// corrects Ifile[k] and Gfile[k] again.
// A slot without samples or a meander period below one sample is refused with
// a message, and FC then holds no slot (FC.slot = 0). Returns whether the pass ran.
bool DetectMeander(Recording& rec, int k, const CompensationSettings& compensation,
                   const EstimationsWindowSettings& estimations, FCRecord& FC, WarningSink& warnings);

}  // namespace velmora
