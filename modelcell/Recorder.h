#pragma once
// The dynamic-clamp recorder around the model cell: at every sample it reads
// the recorded voltage, computes the clamp current of the protocol (and the
// meander of a firing-clamp sweep), injects it through the electrode until
// the next sample, and records voltage, command and measured current. What
// it applied is kept as the ground truth.

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "modelcell/Cell.h"
#include "recording/Recording.h"

namespace velmora {

inline constexpr double kAlways = std::numeric_limits<double>::infinity();

// What the clamp applies at one moment, besides the meander.
struct ClampCommand {
  double I = 0;      // pA, current at V = Vus
  double G = 0;      // nS, conductance acting with the reference Vus
  double GE = 0;     // nS, kind 5: conductance reversing at 0 mV (part of G)
  double GI = 0;     // nS, kind 5: conductance reversing at EI (part of G)
  double gNMDA = 0;  // nS, kind 5: NMDA conductance, reverses at 0 mV, magnesium-blocked
};

// A sweep's clamp as the model describes it. The waveform kinds and their
// formulas are the recorder's (I0 sin, G0 (cos + 1), the square wave of kind
// 4, GE and GI of kind 5); E0 and WaveAlways of `wave` are not used here:
// the windows say when each part is on.
struct ClampProtocol {
  ClampWaveRec wave;
  double Vus = -70;  // mV: the clamp injects I - G (V - Vus)
  double tIOn = 0, tIOff = kAlways;  // ms, the current part acts in [tIOn, tIOff)
  double tGOn = 0, tGOff = kAlways;  // ms, the conductances act in [tGOn, tGOff)
};

ClampCommand CommandAt(const ClampProtocol& clamp, double t);

// The firing clamp's meander: from the second period on, each period starts
// with +Ipos for Tpulse, then -Ineg until the recorded voltage is below
// Vswitch (tested from the sample after the switch on), then nothing.
struct MeanderSettings {
  double Freq = 20;      // Hz
  double Vswitch = -60;  // mV
  double Ipos = 2000;    // pA
  double Ineg = 800;     // pA
  double Tpulse = 2;     // ms
};

// Samples per meander period and per positive pulse, truncated exactly as the
// sweep loader computes them from the parameter file.
int MeanderPeriodSamples(const MeanderSettings& m, double dt);
int MeanderPulseSamples(const MeanderSettings& m, double dt);

struct ElectrodeParameters {
  double Re = 0;  // MOhm, series resistance; 0: the recorded V is the membrane V
  double Ce = 0;  // pF, capacitance at the amplifier side of Re
};

struct MeasurementSettings {
  double noiseV = 0;  // mV, s.d. of the recorded voltage (the clamp sees it too)
  double noiseI = 0;  // pA, s.d. of the measured current
  double tauAmp = 0;  // ms, first-order lag of the measured current behind the command
};

// Extracellular stimulation: each stimulus leaves a brief large artefact on
// the measured current and an evoked wave on the LFP. Stimulators run a
// little fast against the nominal frequency, which is what the artefact
// detector relies on to tell real intervals from spurious ones.
struct StimulationSettings {
  double freq = 0;         // Hz, nominal; 0: no stimulation
  double tFirst = 50;      // ms, first stimulus
  double shortfall = 1;    // ms, the true period is 1000 / freq - shortfall
  // pA, first sample of the artefact (+A, -0.6 A, +0.2 A). 2500 puts the
  // second difference of the current above the detector's starting limit of
  // 5000 at the artefact's first sample but not at the sample before it.
  double amplitude = 2500;
};

struct LfpSettings {
  bool on = false;
  double rhythm = 0.1;      // mV, amplitude of the background rhythm
  double rhythmFreq = 8;    // Hz
  double evoked = 0.5;      // mV, depth of the wave evoked by each stimulus
  double tauEvoked = 5;     // ms, time to its trough
  double noise = 0.01;      // mV, s.d.
};

struct RecorderSettings {
  double dt = 0.05;  // ms, sampling step (20 kHz)
  double Mg = 1;     // mM, magnesium for the NMDA block
  ElectrodeParameters electrode;
  MeasurementSettings measurement;
  StimulationSettings stimulation;
  LfpSettings lfp;
};

struct SweepSpec {
  ClampProtocol clamp;
  std::optional<MeanderSettings> meander;
  double duration = 1000;  // ms; samples at k dt for k = 0 .. duration / dt
};

// One meander period as played, by sample index.
struct MeanderPulse {
  int kPositive = -1;  // first sample of +Ipos
  int kNegative = -1;  // first sample of -Ineg
  int kEnd = -1;       // first sample without -Ineg (the first below Vswitch); -1 when the
                       // negative pulse ran into the next period or the end of the sweep
};

// Sample k is at time k dt (ms). The first sample is recorded at time 0.
struct SweepResult {
  double dt = 0;               // ms
  std::vector<double> V;       // mV, recorded: electrode and noise included
  std::vector<double> Vm;      // mV, membrane
  std::vector<double> Icom;    // pA, the current the recorder commanded, meander included
  std::vector<double> Ireal;   // pA, measured: lag, noise and artefacts included
  std::vector<double> Meander; // pA, the meander part of Icom
  std::vector<double> I, G, GE, GI, gNMDA;  // the applied command (ClampCommand per sample)
  std::vector<double> LFP;     // mV; empty without an LFP channel
  std::vector<double> spikeTimes;  // ms, peaks of Vm above -20 mV
  std::vector<double> stimTimes;   // ms, samples that carry a stimulus artefact
  std::vector<MeanderPulse> pulses;
  int samples() const { return static_cast<int>(V.size()); }
};

// Deterministic for a given (seed, sweepIndex): every noise draws from its
// own stream of that pair.
SweepResult SimulateSweep(const CellParameters& cell, const RecorderSettings& rec, const SweepSpec& sweep,
                          std::uint64_t seed, int sweepIndex);

}  // namespace velmora
