#pragma once
// Estimation of the current and conductance that acted on the cell, pulse
// by pulse: the z values of each pulse are inverted through the fitted
// surfaces (or put through the regressions), the offsets and the
// electrode's share are removed, and the conductance is split into its
// excitatory and inhibitory parts by their reversal potentials.
//
// No estimate that cannot be computed (a vanishing denominator, a solve
// that does not converge) reaches a file or a chart as NaN or infinity:
// the pulse gets 0 and the run says once how many pulses that happened to.

#include <array>
#include <filesystem>
#include <string_view>
#include <vector>

#include "charts/Chart.h"
#include "firingclamp/ApproximateFC.h"
#include "firingclamp/Averaging.h"
#include "firingclamp/FCRecord.h"
#include "firingclamp/Pulses.h"
#include "base/Errors.h"
#include "base/WarningSink.h"

namespace velmora {

inline constexpr std::string_view kEstimatesFileName = "TrueAndEstimated_I_G.dat";

// Group "Precision and tolerance" of the "Approximate_FC" tab.
struct PrecisionSettings {
  double Eps = 0.01;       // "eps": residual (or gradient) sum at which a solve stops
  double MinAngle = 0.01;  // "min angle between gradients": sine below which z3 stands in
  double MaxIter = 200;    // "max iteration number", truncated
};

enum class InverseOutcome {
  Converged,
  NoConvergence,  // MaxIter iterations without reaching Eps: I = G = 0
  ZeroVariance,   // a surface whose z does not vary over the calibration cannot be weighted: I = G = 0
};

// Damped Newton on z1 = s1(I, G), z2 = s2(I, G): I and G are the start
// values in, the estimate out (0, 0 when the solve does not converge).
InverseOutcome InverseSolve2(const TSurface& s1, const TSurface& s2, double z1, double z2,
                             const PrecisionSettings& precision, double& I, double& G);

// Newton with second derivatives on two of three surfaces, each weighted by
// the reciprocal spread of its z over the calibration; z3 stands in for the
// one of z1, z2 with the shorter gradient while their gradients are nearly
// parallel.
InverseOutcome InverseSolve3(const TSurface& s1, const TSurface& s2, const TSurface& s3, double z1, double z2,
                             double z3, const PrecisionSettings& precision, double& I, double& G);

// What the meander's saturation takes off z number n (4 PulseV-VT, 6
// PulseV; 0 for the others) at total conductance Gt = Gc + G (nS).
// SaturationPars[1], [3]: the underestimation U (pA) for n = 4, 6; [5]: the
// conductance scale Gs (nS). 0 unless Gt > 0, Gs > 0 and, for n = 6, Gc > 0.
double SaturationCorrection(int n, double Gt, double Gc, const std::array<double, 6>& SaturationPars);

// Removes the offsets Ioffset, Goffset of `corrections` from Iest[j],
// Gest[j] and, in the compensation modes 3..6, the electrode's share (G1,
// C1C) with Gc the cell's resting conductance (nS). False when a denominator
// of the compensation vanishes or the result is not finite: Iest[j] =
// Gest[j] = 0.
bool CorrectEstimates(Pulses& p, int j, const CompensationSettings& compensation, const CorrectionSettings& corrections,
                      double Gc);

// Whether the pulses were condensed from a sweep compensated with the
// settings now in effect; when not, one warning names the settings changed
// since, as the pulses' z values then disagree with what the estimation
// reads. Pulses read back from the estimates file (slot 0) are taken as they are.
bool CompensatedAsNow(const Pulses& p, const CompensationSettings& compensation,
                      const EstimationsWindowSettings& estimations, WarningSink& warnings);

// Intracellular chloride (mM) and its rate of change (mM/ms), carried from
// pulse to pulse within one split.
struct ChlorideState {
  double c = 0, dc = 0;
};

// The inhibitory reversal potential (mV) at pulse j with inhibitory
// conductance GI (nS): chloride relaxes toward the level GI loads, with
// time constants Tau1 (and Tau2 when not 0) over the pulse interval
// tPulse[2] - tPulse[1]. Pulse 1 resets `state` to the level at which the
// reversal equals VI. With fewer than two pulses there is no interval and
// the chloride stays at that level. 0 when the concentration is not
// positive or not finite (state.c tells which).
double ChlorideReversal(const Pulses& p, int j, double GI, double VI, const ReversalSettings& reversal,
                        ChlorideState& state);

// GE, GI, Vsyn, Vss of every valid pulse from Iest, Gest; Vus (mV) is the
// reference voltage of the clamp, Gc (nS) the resting conductance. Where a
// quantity cannot be computed (VE = VI, Gc + GE + GI = 0) it is 0; one
// warning gives the count. Returns that count.
int SplitConductances(Pulses& p, const EstimationsWindowSettings& settings, double Gc, double Vus,
                      WarningSink& warnings);

// The charts of the estimations window (bottom axes "ms"), with their
// nineteen series.
struct EstimationCharts {
  Chart current;      // "Estimated I", "TrueStim I", "True I", "mean_Estim_I"
  Chart conductance;  // "Estimated G      ", "TrueStim G", "True G", "GI", "GE", "mean_Estim_G",
                      // "TrueStim gNMDA", "Est. gNMDA      "
  Chart voltage;      // "V from GE,GI"; shown in the conductance chart's place when voltageShown
  Chart z;            // "z1", "z2" (right), "mean z1", "mean z2" (right), "V_syn", "V_syn"
  bool voltageShown = false;
};

EstimationCharts MakeEstimationCharts();

// Fills the per-pulse series of the estimations window (not "True I",
// "True G", which the firing-clamp drawing fills from FC, nor the means).
// Times are aligned to `StimTimes` when it is given ("Align to stimuli").
// The gNMDA series are filled for the regression kinds 4 and 5 only.
void DrawEstimates(const Pulses& p, const EstimationsWindowSettings& settings, ApproxKind kind, double Vus,
                   const std::vector<double>* StimTimes, EstimationCharts& charts);

// `dir`/"TrueAndEstimated_I_G.dat", created anew: per valid pulse I, G,
// Iest, Gest, t, z1, z2, GE, GI, Vsyn, Vss, each 8:3, one blank between,
// CR LF; t is tPulse, aligned to `StimTimes` when given.
Status WriteEstimates(const Pulses& p, const std::vector<double>* StimTimes, const std::filesystem::path& dir);

// Reads that file back into `p` (I, G, Iest, Gest, tPulse, z1, z2, GE, GI,
// Vsyn, Vss; nPulses = the lines read; slot 0). A line of 5 numbers is an older
// file without the last six, which are then 0. Any other count below 11, a
// token that is not a number, or more than 10 000 lines is an error naming
// the line, and `p` is then untouched.
Status ReadEstimates(const std::filesystem::path& dir, const std::vector<double>* StimTimes, Pulses& p);

// What the estimation takes from the recording and the views.
struct EstimationInputs {
  double Gc = 0;   // nS, StepPars.CmdScale: the cell's resting conductance
  double Vus = 0;  // mV, reference voltage of the clamp
  const std::vector<double>* StimTimes = nullptr;  // ms, when "Align to stimuli" is ticked
};

// How many pulses of a run got 0 and why.
struct EstimationReport {
  int nPulses = 0;
  int notConverged = 0;   // the inverse solve ran out of iterations
  int zeroVariance = 0;   // a surface without spread could not be weighted
  int badCorrection = 0;  // a compensation denominator vanished
  int notFinite = 0;      // an estimate was not a finite number
  int badSplit = 0;       // GE, GI, Vsyn or Vss could not be computed
};

// Steps 1..6 of the estimation and the corrections, without split, charts
// or file: per valid pulse the z values to invert (z numbers of the last
// fit, saturation-corrected from the previous pulse's Gest, smoothed by
// wFilter), then Iest, Gest, gNMDAest by the kind of the last fit, then
// CorrectEstimates. Pulses whose estimate cannot be computed get 0 and are
// counted in the report; nothing is reported to the user here.
EstimationReport EstimatePulses(Pulses& p, const ApproxState& approx, const CompensationSettings& compensation,
                                const CorrectionSettings& corrections, double Gc, const PrecisionSettings& precision);

// The estimation step: Iest, Gest, gNMDAest and the inverted z1, z2, z3 of
// every valid pulse by the kind and z numbers of the last fit
// (approx.fitted), the corrections, the split, the chart series and the
// file. Without valid pulses nothing is done. Pulses compensated with other
// settings than `compensation` and `settings` are estimated with a warning
// (CompensatedAsNow). Fails, with `p` unchanged, when no fit has been made;
// fails after estimating when the file cannot be written.
Result<EstimationReport> EstimateAll(Pulses& p, const ApproxState& approx, const CompensationSettings& compensation,
                                     const EstimationInputs& in, const PrecisionSettings& precision,
                                     const EstimationsWindowSettings& settings, const std::filesystem::path& dir,
                                     EstimationCharts& charts, WarningSink& warnings);

}  // namespace velmora
