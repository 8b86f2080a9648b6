#pragma once
// The estimations window ("Form5: Estimations_FC"): its fields with their
// design defaults, which the estimation reads, and the averaging of the
// pulse-by-pulse estimates over time bins.

#include <filesystem>
#include <vector>

#include "firingclamp/ApproximateFC.h"
#include "base/Errors.h"
#include "base/WarningSink.h"

namespace velmora {

struct EstimationCharts;
struct Pulses;

// Group "Corrections". The meander compensation reads Vjunction and
// Ioffset, the estimation all of them.
struct CorrectionSettings {
  double Vjunction = 0;  // mV, "Junction potential"
  double VE = 0;         // mV, "VE": excitatory reversal potential
  double VI = -60;       // mV, "VI": inhibitory reversal potential
  double Ioffset = 0;    // pA, "Offset current"
  double Goffset = 0;    // nS, "Offset cond."
  double wFilter = 0;    // "w to filter z1,z2": weight of the previous pulse's z values
};

// Group "Reversal ": the inhibitory reversal potential driven by the
// intracellular chloride that the inhibitory conductance loads.
struct ReversalSettings {
  bool VsynOn = false;  // box "V_syn"
  double Tau1 = 1000;   // ms, "tau1,      tau2, ms"
  double Tau2 = 0;      // ms; 0: first-order dynamics
  double Kcl = 0.12;    // mM/s/nS, "k, mM/s/nS"
};

// Group "NMDA": the magnesium block in the conductance split.
struct NMDASettings {
  bool NMDAon = false;  // the group's box
  double Mg = 0;        // mM, "Mg"; also read by the meander compensation
  double Veff = -50;    // mV, "Veff, mV": where the block is evaluated
};

struct EstimationsWindowSettings {
  double dt_av = 50;         // ms, "dt_av ,ms=": width of the averaging bins
  CorrectionSettings corrections;
  ReversalSettings reversal;
  NMDASettings nmda;
  double VLss = 0;           // mV, "VL=": leak reversal of the voltage from GE, GI
  bool showLines = true;     // "show lines"
  bool VfromGEGI = false;    // "V from GE,GI": the voltage chart instead of the conductance chart
};

inline constexpr int kMaxAverageBin = 10'000;

// Means of Iest, Gest, z1, z2 per time bin 0..nBins; bins without pulses
// have count 0 and are not plotted.
struct Averages {
  std::vector<double> MeanIest, MeanGest, MeanZ1, MeanZ2;
  std::vector<int> count;
  int nBins = -1;  // largest bin index used; -1 when nothing was averaged
};

// Bins the valid pulses by tPulse - 1000 t0 (ms) into bins of width dt_av
// centred on multiples of dt_av (a pulse half-way between two centres goes
// to the even bin), averages each bin and draws the means at the bin
// centres ("mean_Estim_I", "mean_Estim_G", "mean z1", "mean z2"). Pulses
// whose bin lies outside 0..10000 are left out with one message; a dt_av
// that is not positive averages nothing and says so.
Averages AverageEstimates(const Pulses& p, double t0, double dt_av, EstimationCharts& charts,
                          WarningSink& warnings);

// The button "Average": the estimates as last written to `dir`, unaligned,
// drawn again and averaged. A missing or malformed file is the error, and
// `p` is then untouched.
Result<Averages> AverageFromFile(const std::filesystem::path& dir, double t0, const EstimationsWindowSettings& settings,
                                 ApproxKind kind, double Vus, Pulses& p, EstimationCharts& charts,
                                 WarningSink& warnings);

}  // namespace velmora
