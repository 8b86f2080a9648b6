#pragma once
// Splitting a synaptic conductance into an excitatory part GE(t) and an
// inhibitory part GI(t) from two voltage traces of the same input: one at
// zero current, one at a known constant current (or a constant voltage).
// With the same GE and GI in both, the two current balances
//   GL (V - VL) + GE (V - VE) + GI (V - VI) = I,  I = 0 and I = I2,
// give GE and GI sample by sample.

#include <filesystem>
#include <vector>

#include "charts/Chart.h"
#include "recording/Recording.h"
#include "base/Errors.h"

namespace velmora {

// The fields of the splitting window.
struct SplitSettings {
  double VE = 0;            // mV, reversal potential of GE
  double VI = -75;          // mV, reversal potential of GI
  double timeShift = 0;     // ms, of the second trace against the first
  double filterWeight = 0;  // w of the smoothing filter; 0 leaves the traces as marked
  double Iterations = 1;    // smoothing passes
  double Ra = 0;            // MOhm, access resistance
  double GL = 0;            // nS, leak conductance
  double VL = -30;          // mV, leak reversal potential
  double I2 = -40;          // pA, current injected during the second trace
  double Vconst = -75;      // mV, "Set constant voltage as V(t)="
};

// The marked traces and the result; they live for the whole program run,
// and marking one side leaves the other as it was.
struct MarkedTraces {
  int nV1 = 0, nV2 = 0;  // last sample of each trace
  std::vector<double> V1Mark, V2Mark;  // mV, as marked
  std::vector<double> V1Filt, V2Filt;  // mV, smoothed
  std::vector<double> SplitGE, SplitGI;  // nS, valid over the last split's range
};

// The window's two charts: voltage ("V1", "V2") and conductance ("GE", "GI"),
// both against time in s.
struct SplitCharts {
  Chart voltage;
  Chart conductance;
};

// The marking buttons; the window then smooths and draws the traces.
//
// "Mark the current trace as a trace at 0-current": V of `slot` becomes the
// first trace. While no second trace has been marked, the second takes the
// first's length and keeps the samples it holds (zeros at first). Returns
// the leak conductance the recording gives (its CmdScale), nS, which "GL"
// then shows.
double MarkTraceAtZeroCurrent(MarkedTraces& marked, const Recording& rec, int slot);
// "Mark the current trace as a trace at the following current": V of `slot`
// becomes the second trace.
void MarkTraceAtCurrent(MarkedTraces& marked, const Recording& rec, int slot);
// "Set constant voltage as V(t)=": the second trace is settings.Vconst
// throughout, as long as the first.
void SetConstantVoltage(MarkedTraces& marked, const SplitSettings& settings);

// The time shift in whole samples (dt in s), truncated toward zero.
int ShiftSamples(double timeShift, double dt);

// V1Filt and V2Filt from the marked traces: `Iterations` passes of the
// first-order recursive low-pass y[k] = w y[k-1] + (1 - w) y[k].
void SmoothMarkedTraces(MarkedTraces& marked, const SplitSettings& settings);

// Refills "V1" and "V2" over the overlap of the two traces, every
// `plotStep`-th sample (the main window's "Skip"; below 1 taken as 1).
void DrawMarkedTraces(const MarkedTraces& marked, const SplitSettings& settings, double dt, int plotStep,
                      Chart& voltage);

// "Split conductances": GE and GI at every sample of the overlap, drawn and
// written to `dir`/"Varnel_GE_GI.dat" every `plotStep`-th sample. A sample
// where the two balances cannot be told apart repeats the previous result
// (0 at the start of the overlap). The result is the number of samples
// split; without an overlap nothing is drawn or written and it is 0.
Result<long> SplitFromTwoTraces(MarkedTraces& marked, const SplitSettings& settings, double dt, int plotStep,
                          SplitCharts& charts, const std::filesystem::path& dir);

}  // namespace velmora
