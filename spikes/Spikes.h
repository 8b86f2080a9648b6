#pragma once
// Action potentials of one loaded sweep: detection by a per-sample state
// machine, then threshold, peak, half-width and afterhyperpolarisations.

#include <vector>

#include "charts/Chart.h"
#include "recording/Recording.h"

namespace velmora {

struct SpikeCriteriaRec {
  double V_min = -35;       // mV
  double dVdt_min = 15;     // mV/ms
  double d2Vdt2_min = 10;   // mV/ms^2
  double TimeWindow = 0.05; // s ("TimeWindow" field / 1000)
};

struct AHPfastRec {
  double dVdt_min = -10;        // mV/ms
  double TimeSincePeak = 0.005; // s ("TimeSincePeak" field / 1000)
};

// The spike settings as the options tab holds them (design defaults).
struct SpikeSettings {
  SpikeCriteriaRec SpikeCriteria;
  AHPfastRec AHPfast;
  double ThresholdScale = 2.0;  // mV/ms, "Scale of curvature, mV/ms"
};

enum class SpikeState { Idle = 0, Rising = 1, Detected = 2, Armed = 3 };

inline constexpr int kMaxSpikes = 4100;

// The spike list of the sweep scanned last: entries 1..nSpikes are valid;
// entry 0 holds the stimulus start in tAP and the spikes before it.
struct SpikeList {
  SpikeList();  // every array with kMaxSpikes + 1 entries
  int nSpikes = 0;
  std::vector<double> tAP;       // s, peak, from Traces sample 0
  std::vector<double> ISI;       // s; ISI[1] is the latency from the stimulus start
  std::vector<double> VT;        // mV
  std::vector<double> tVT;       // s, from Traces sample 0
  std::vector<double> Vpeak;     // mV
  std::vector<double> WidthAP;   // ms
  std::vector<double> VAHP;      // mV
  std::vector<double> VAHPfast;  // mV
  std::vector<double> Vav;       // mV
};

// One step of the detection state machine at one sample. V2, V1, V: mV of
// samples i-2, i-1, i; t: s; tLast: s of the last detection; dt: s.
void SpikeStep(const SpikeCriteriaRec& criteria, double dt, double& tLast, SpikeState& state, double V2,
               double V1, double V, double t);

// What a scan reads of one loaded sweep: its samples and the state its load
// left. Taken from the recording, or from the slot's kept reading, which
// lets a sweep be scanned while others are still being loaded.
struct SweepSignal {
  const SweepSlot& sweep;
  double dt = 0, t0 = 0;     // s
  double tOn = 0, tOff = 0;  // ms
  bool scanned = true;       // false for a firing-clamp or SpikesOff recording
};
SweepSignal SignalOf(const Recording& rec, int slot);
SweepSignal SignalOf(const SweepSlot& sweep, const SweepReading& reading);

// The threshold of one spike and the sample it lies on. The measurement
// starts at that very sample: recovering it from tVT / dt could land one
// sample early through the floating-point round trip.
struct Threshold {
  double VT = 0;   // mV
  double tVT = 0;  // s, from Traces sample 0
  int iVT = 0;     // sample index of VT
};

// The point of largest curvature of the rising trajectory in the 8 ms before
// detection sample i (1 <= i <= nLast) of slot `slot`, but not before 5
// samples after the stimulus start; the threshold is the sample before it.
// ThresholdScale (mV/ms) is the slope drawn at 45 degrees.
Threshold FindThreshold(const SweepSignal& signal, int i, double ThresholdScale);

// Peak, half-width and afterhyperpolarisations of entry k, measured from its
// threshold sample iVT (0 <= iVT < nLast; otherwise nothing is written).
// Writes tAP, Vpeak, VAHP and VAHPfast; WidthAP only when the voltage falls
// back through half amplitude within the peak window.
void MeasureSpike(SpikeList& spikes, int k, const SweepSignal& signal, int iVT, const SpikeSettings& settings);

// The list of a sweep without spikes: tAP[0] is its stimulus start (tOn, ms).
void ClearSpikeList(SpikeList& spikes, double tOn);

// Scans slot `slot` of rec.traces and fills `spikes`. Returns false, leaving
// the list as it was, for a firing-clamp recording or one with SpikesOff = 1.
// Only tAP, ISI, WidthAP, Vpeak and VT are cleared: the entries of tVT, VAHP,
// VAHPfast and Vav above the new nSpikes keep what an earlier scan wrote.
bool DetectSpikes(SpikeList& spikes, const SweepSignal& signal, const SpikeSettings& settings);
bool DetectSpikes(SpikeList& spikes, const Recording& rec, int slot, const SpikeSettings& settings);

// The six spike series of the voltage chart ("Spikes", "Vav", "WidthAP" on the
// right axis, "VT", "VAHP", "VAHPfast"): cleared, then refilled from the list.
// `stimTimes` (ms) non-null: the x values are aligned to the stimuli.
void ShowSpikes(const SpikeList& spikes, Chart& voltageChart, const std::vector<double>* stimTimes);

}  // namespace velmora
