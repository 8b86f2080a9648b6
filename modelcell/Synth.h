#pragma once
// Synthetic recordings: the protocols the lab records, played on the model
// cell and written as data directories of every format the program reads,
// each with its ground truth ("GroundTruth.json").

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "modelcell/Cell.h"
#include "modelcell/Recorder.h"
#include "recording/Recording.h"
#include "base/Errors.h"
#include "base/WarningSink.h"

namespace velmora {

enum class SynthProtocol {
  Steps,          // current steps, ProtocolKind 2, ".cc"
  Grid,           // I-G grid, ProtocolKind 3, ".us" (GridKind 1, or 3 with tables)
  Waves,          // clamp waveforms, ProtocolKind 1, one sweep per WaveKind, ".dc"
  FcCalibration,  // firing clamp, constant I and G per sweep over a grid, ".FC"
  FcEstimation,   // firing clamp under a slowly varying waveform, ".FC"
  OldColumns,     // "<dir>_voltage.txt", "_current.txt", "_header.txt"
  NewColumns,     // voltage.txt, current.txt, parameters.txt, GE_sequence.txt
};

inline constexpr SynthProtocol kAllProtocols[] = {
    SynthProtocol::Steps,        SynthProtocol::Grid,       SynthProtocol::Waves,     SynthProtocol::FcCalibration,
    SynthProtocol::FcEstimation, SynthProtocol::OldColumns, SynthProtocol::NewColumns};

std::string_view ProtocolName(SynthProtocol p);  // "steps", "grid", "waves", "fc-calibration", ...
std::optional<SynthProtocol> ProtocolFromName(std::string_view name);

struct StepsSettings {
  double Ifirst = -50, Ilast = 300;  // pA
  int nSteps = 8;
  double G0 = 0;  // nS, the conductance step: applied throughout every sweep
  double tStimStart = 100, tStimEnd = 900;  // ms
};

struct GridSettings {
  double IgFirst = 0, IgLast = 300;  // pA
  int nI = 4;
  double GgFirst = 0, GgLast = 20;   // nS
  int nG = 3;
  // Given tables make the grid GridKind 3 with their values, in any order.
  std::vector<double> ITable, GTable;
  double tIOn = 100, tIOff = 900;  // ms
  double tGOn = 50, tGOff = 950;   // ms
};

struct WaveSettings {
  std::vector<int> kinds = {0, 1, 2, 3, 4, 5};  // one sweep per kind
  ClampWaveRec wave = DefaultWave();           // WaveKind is set per sweep
  double tStimStart = 100, tStimEnd = 1900;    // ms
  bool always = false;                         // WaveAlways: ignore the window
  static ClampWaveRec DefaultWave();
};

struct FcCalibrationSettings {
  std::vector<double> I = {-100, 0, 100};  // pA, applied constantly, one sweep per (I, G)
  std::vector<double> G = {0, 10, 20};     // nS
  MeanderSettings meander;
};

struct FcEstimationSettings {
  ClampWaveRec wave = DefaultWave();  // a slowly varying I(t), G(t)
  int nSweeps = 1;
  MeanderSettings meander;
  static ClampWaveRec DefaultWave();
};

// Sweep k = 1..nSweeps is clamped in [tOn, tOn + tStimDur) with
// G = Gsweep1 + (k-1) dGsweep + g_k and I = Isweep1 + (k-1) dIsweep + (Erev - Vus) g_k,
// g_k from gSeq (new format only; the old format has no added conductance).
struct ColumnSettings {
  int nSweeps = 6;
  double Gsweep1 = 0, dGsweep = 2;     // nS
  double Isweep1 = 100, dIsweep = 40;  // pA
  double tOn = 100, tStimDur = 800;    // ms
  double Erev = 0;                     // mV, reversal of the added conductance
  std::vector<double> gSeq = {0, 0.5, 1, 1.5, 2, 2.5};  // nS, per sweep
};

struct SynthSettings {
  SynthProtocol protocol = SynthProtocol::Steps;
  std::string name;      // base of the file names; empty: the protocol's name
  double duration = 0;   // ms per sweep; 0: the protocol's own (DefaultDuration)
  bool binary = false;   // "_b" traces instead of text
  bool ch4 = false;      // channel 4: membrane potential
  bool ch56 = false;     // channels 5, 6: GE, GI
  bool stimFile = false; // write ".stim" when stimulating
  double Vus = -70;      // mV, reference voltage of the clamp
  std::uint64_t seed = 1;
  int truthStep = 10;    // samples between points of the ground-truth series
  CellParameters cell;
  RecorderSettings recorder;
  StepsSettings steps;
  GridSettings grid;
  WaveSettings waves;
  FcCalibrationSettings fcCalibration;
  FcEstimationSettings fcEstimation;
  ColumnSettings columns;
};

double DefaultDuration(SynthProtocol p);  // ms

// One sweep as planned: its files, what the parameter file says, and what the
// recorder applies (the ground truth is the latter).
struct PlannedSweep {
  std::string base;         // parameter file base; empty for the column formats
  std::string trace;        // trace file name as listed (without "_b"); empty for columns
  int FileNo = 0;           // the sweep number in the trace name, or the column
  RecordingParameters par;  // main format only
  SweepSpec spec;
  std::optional<double> Istep, Gstep;  // pA, nS: the sweep's constant clamp, when it has one
};

// The settings' faults, each named; the first one found.
Status CheckSynthSettings(const SynthSettings& s);

std::vector<PlannedSweep> PlanSweeps(const SynthSettings& s);

struct SynthSweep {
  std::string trace;  // the trace name as listed, or "column k"
  int FileNo = 0;
  std::optional<double> Istep, Gstep;
  std::vector<double> spikeTimes;  // ms
  std::vector<MeanderPulse> pulses;
  std::optional<SweepResult> result;  // kept on request only: sweeps can be large
};

// Simulates the protocol and writes it into `dir` (created if needed): the
// directory is the recording's data directory for every protocol. Returns
// what was written, with the samples of every sweep when `keepSamples`.
Result<std::vector<SynthSweep>> WriteSynthRecording(const SynthSettings& s, const std::filesystem::path& dir,
                                                    WarningSink& warnings, bool keepSamples = false);

// The firing-clamp pair of the example data set: a calibration grid of
// constant I (-100 ... 100 pA) and G (0 ... 10 nS), 1 s per sweep, around the
// range that the estimation recording (6 s) sweeps through. Both are recorded
// with one set-up, as a calibration only holds for recordings made as it was,
// and at 40 kHz: the model cell's spikes rise up to 33 mV in 50 us, which the
// pulse analysis would take for a discontinuity at 20 kHz.
SynthSettings FcCalibrationExample(SynthSettings s);
SynthSettings FcEstimationExample(SynthSettings s);

// One data directory per protocol under `root`, a few seconds each, with
// both trace variants, the LFP and stimulation options among them.
Status WriteDemoDataSet(const SynthSettings& base, const std::filesystem::path& root, WarningSink& warnings);

}  // namespace velmora
