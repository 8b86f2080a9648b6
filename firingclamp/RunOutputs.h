#pragma once
// What a firing-clamp run leaves besides its time chart: the correlation
// charts of the z values against I and G, the calibration file,
// "True_I_G(t).dat", and the summary of the estimates against the command.

#include <filesystem>
#include <string_view>

#include "base/Errors.h"
#include "charts/Chart.h"
#include "firingclamp/ApproximateFC.h"
#include "firingclamp/Pulses.h"
#include "recording/Recording.h"

namespace velmora {

inline constexpr std::string_view kTrueIGFileName = "True_I_G(t).dat";

// Group "Which to plot" of the two correlation charts of the "Firing-Clamp"
// tab; the box "NegPulseD" is passed apart, as the parameter sets change it.
struct WhichToPlot {
  bool subV = true;
  bool VT = false;
  bool PulseV_VT = true;  // "PulseV-VT"
  bool PulseV = false;
  bool dVdt = false;
  bool VHalfPulse = false;
  bool dVdt_V1 = false;
  bool dVdt_V2 = false;
};

// Adds one point per valid pulse and ticked box to the correlation charts
// against I and G; the points accumulate over files and runs.
void DrawCorrelations(const Pulses& p, const WhichToPlot& boxes, bool NegPulseD, Chart& vsI, Chart& vsG);

// "Erase calibration": empties the correlation series of every box but
// "dVdt_V1" and "dVdt_V2", which are kept.
void ClearCorrelationPlots(Chart& vsI, Chart& vsG);

enum class PulseFileMode { Append, Clean };

// `dir`/"I_G_VT_dV_subV_PulseV_PulseDur.dat". Append: one line per valid
// pulse, I, G, VT, PulseV_VT, subV, PulseV, NegPulseDur, dVdt, VHalfPulse,
// tPulse, gNMDA, dVdt_V1, dVdt_V2, each 8:3, one blank between, CR LF;
// a file left empty is removed. Clean: the file is removed.
Status WritePulseFile(const std::filesystem::path& dir, const Pulses& p, PulseFileMode mode);

// Appends as WritePulseFile does, unless the file holds these very lines
// already, one after another: the same recording analysed with the same
// settings, whose pulses would otherwise weigh twice in every fit. True when
// the pulses were appended.
Result<bool> AppendNewPulses(const std::filesystem::path& dir, const Pulses& p);

// `dir`/"True_I_G(t).dat", created anew: for every 10th sample i of slot k,
// i dt (ms, without t0) and the command Icom, Gcom, gNMDAcom at the time of
// sample i - 2 (with t0), each 8:3.
Status WriteTrueIG(const Recording& rec, int k, const std::filesystem::path& dir);

// The estimates of the valid pulses against the command the recording
// carries (each pulse's I and G): pulses 1..nPulses, or 2..nPulses for the
// regression kinds, which leave pulse 1 without an estimate.
struct EstimateSummary {
  int first = 1, last = 0;            // the pulses summarised
  double meanIest = 0, meanGest = 0;  // pA, nS
  double meanI = 0, meanG = 0;        // pA, nS: the command
  double rmsI = 0, rmsG = 0;          // pA, nS: RMS of Iest - I and of Gest - G
};
EstimateSummary SummarizeEstimates(const Pulses& p, ApproxKind kind);

}  // namespace velmora
