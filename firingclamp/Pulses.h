#pragma once
// The firing-clamp pulses: each meander of a prepared sweep condensed into one
// row (the time of the pulse, the current and conductance that acted before
// it, and the voltage features, the z values, from which I and G are later
// recovered), and the settings of that condensation.

#include <array>
#include <vector>

#include "firingclamp/FCRecord.h"
#include "recording/Recording.h"
#include "base/WarningSink.h"

namespace velmora {

inline constexpr int kMaxPulses = 10'000;  // slots 1..10000; slot 0 is never a valid pulse
inline constexpr int kPulseArrays = 25;

// One entry per meander slot 0..(last slot analysed), at most kMaxPulses + 1
// entries; the valid pulses are 1..nPulses. The arrays are in their
// traditional order (the number after each is its position, see Arrays()).
struct Pulses {
  std::vector<double> tPulse;       //  0 ms, time of the switch to the negative pulse
  std::vector<double> PulseV;       //  1 mV, maximum of V over the positive pulse
  std::vector<double> subV;         //  2 mV, V smoothed over the interpulse interval before the pulse
  std::vector<double> VT;           //  3 mV, V at the switch to the positive pulse
  std::vector<double> NegPulseDur;  //  4 ms, duration of the negative pulse
  std::vector<double> VHalfPulse;   //  5 mV, V half a nominal pulse after the switch to positive
  std::vector<double> I;            //  6 pA, current acting on the cell before the pulse
  std::vector<double> G;            //  7 nS, conductance acting before the pulse
  std::vector<double> gNMDA;        //  8 nS, NMDA conductance acting before the pulse
  std::vector<double> Iest;         //  9 pA, estimated current
  std::vector<double> Gest;         // 10 nS, estimated conductance
  std::vector<double> gNMDAest;     // 11 nS, estimated NMDA conductance
  std::vector<double> Imeander;     // 12 pA, mean meander current over the preceding cycle
  std::vector<double> GE;           // 13 nS, excitatory part of Gest
  std::vector<double> GI;           // 14 nS, inhibitory part of Gest
  std::vector<double> Vsyn;         // 15 mV, synaptic reversal potential
  std::vector<double> Vss;          // 16 mV, voltage from GE, GI
  std::vector<double> z1, z2, z3;   // 17-19, the z values inverted by the estimation
  std::vector<double> PulseDur;     // 20 ms, duration of the positive pulse
  std::vector<double> PulseV_VT;    // 21 mV, PulseV - VT scaled to the nominal pulse duration
  std::vector<double> dVdt;         // 22 mV/ms, smoothed dV/dt of the interpulse interval
  std::vector<double> dVdt_V1;      // 23 mV/ms, mean dV/dt above V1 in the interpulse interval
  std::vector<double> dVdt_V2;      // 24 mV/ms, mean dV/dt above V2 during the positive pulse

  int nPulses = 0;  // valid pulses 1..nPulses; never negative
  int nFlaws = 0;   // meanders discarded by the last analysis
  // Copied from FCSettings by ReadFCSettings.
  int nExclude = 0;  // samples skipped at the start of the sweep
  int nV1max = 0, nV2max = 0;
  double FlawThreshold = 0;  // mV
  double Shift = 0;          // pulses
  double V1 = 0, V2 = 0;     // mV
  double C = 0;              // nF
  double VL = 0;             // mV
  double GL = 0;             // nS

  // The 25 arrays by position 0..24.
  std::array<std::vector<double>*, kPulseArrays> Arrays();
  std::array<const std::vector<double>*, kPulseArrays> Arrays() const;
};

// Sizes every array to slots 0..lastSlot (lastSlot is held to 0..kMaxPulses),
// keeping what the kept slots hold and zeroing new ones.
void SizePulseArrays(Pulses& p, int lastSlot);

// The fields of the "Firing-Clamp" tab and of the group "Analytic estimation
// from dV/dt at V1, V2" of the "Approximate_FC" tab, with their design defaults.
// The "Lost parameters" choice is LoadSettings::lost.
struct FCSettings {
  double FlawThreshold = 30;   // mV, "Mark a pulse as a flaw" / "if V discontinuity >"
  double Shift = 0.5;          // "Shift input vs output, [0,1]"
  double ExcludeInitial = 50;  // ms, "Exclude initial"
  bool correctVus70 = false;   // "correct Vus=-70mV, not 0": adds 70 G to the current of the pulses
  bool writeInFile = false;    // "Write in file": append the pulses to the calibration file
  bool approximate = true;     // "Approximate"
  double V1 = -72;             // mV, "V1, mV"
  double V2 = -50;             // mV, "V2, mV"
  double nV1max = 10;          // "nV1_max", truncated
  double nV2max = 7;           // "nV2_max", truncated
  double C = 0.08;             // nF, "C, nF"
  double VL = -45;             // mV, "VL, mV"
  double GL = 10;              // nS, "GL, nS"
};

// The settings step of every firing-clamp operation: recomputes the meander
// counts nPeriod, nPulse, nStop of `par.FCPars` from Freq, Tpulse, nPar and
// dtPar (a count whose quotient cannot be computed becomes 0, with a
// message), reconciles the waveform kind with the "Lost parameters" choice,
// resets nFlaws and copies the settings into `p`.
void ReadFCSettings(RecordingParameters& par, LostParameters lost, const FCSettings& settings, Pulses& p,
                    WarningSink& warnings);

// Runs ReadFCSettings, then condenses the meanders of slot `k`, prepared in
// `FC` by DetectMeander, into `p`: flaws, z values, I, G, gNMDA of each pulse
// and the shift of I, G, gNMDA against the pulses. An `FC` that does not hold
// slot k as loaded now is refused with a message (nPulses = 0).
void AnalyzePulses(Recording& rec, int k, const FCRecord& FC, const FCSettings& settings, LostParameters lost,
                   Pulses& p, WarningSink& warnings);

// The z value number n of pulse j: 3 VT, 4 PulseV_VT, 5 subV, 6 PulseV,
// 7 NegPulseDur, 8 dVdt, 9 VHalfPulse, 10 dVdt_V1, 11 dVdt_V2; any other n,
// or a slot the arrays do not hold, gives 0.
double ZValue(const Pulses& p, int n, int j);

// Iest and Gest of every valid pulse from dVdt_V1 and dVdt_V2 and the
// membrane equation with capacitance C, leak GL reversing at VL, and the
// positive pulse `Ipos` (pA). With V2 = V1 or C = 0, or where the result is
// not a finite number, the pulse gets 0 and one warning says how many.
// The caller then splits the conductances, writes and draws the estimates
// with Vus taken as VL.
void AnalyticEstimate(Pulses& p, double Ipos, WarningSink& warnings);

}  // namespace velmora
