#include "cli/SynthCommand.h"

#include <fmt/format.h>

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "modelcell/AbfWriter.h"
#include "modelcell/Synth.h"

namespace velmora::cli {

namespace {

// What the command line can change beyond SynthSettings' own fields: values
// that go to whichever protocol is chosen, applied only when given.
struct SynthOptions {
  std::string protocol = "steps";
  std::string preset;
  std::string out;
  SynthSettings s;
  std::vector<double> iRange, gRange, iTable, gTable, iValues, gValues, gSeq, columnG, columnI;
  std::vector<int> waveKinds;
  std::optional<int> waveKind, sweeps;
  std::optional<double> gStep, Erev;
  std::optional<double> I0, G0, TI, TG, GEamp, GIamp, gNMDAamp, TGE, TGI, TgNMDA, EI;
  std::optional<double> Freq, Vswitch, Ipos, Ineg, Tpulse;
  bool always = false;
  bool abf = false;
};

constexpr const char* kProtocols =
    "Protocols (--protocol):\n"
    "  steps           current steps, ProtocolKind 2, traces \".cc\"; --i-range, --g-step\n"
    "  grid            I-G grid, ProtocolKind 3, traces \".us\"; --i-range, --g-range (GridKind 1)\n"
    "                  or --i-table, --g-table (GridKind 3)\n"
    "  waves           clamp waveforms, ProtocolKind 1, one sweep per --wave-kinds (0..5), traces \".dc\"\n"
    "  fc-calibration  firing clamp with constant I and G per sweep over --i-values x --g-values, \".FC\"\n"
    "  fc-estimation   firing clamp under a slowly varying waveform (--wave-kind, default 3), \".FC\"\n"
    "  old-columns     voltage, current and header files named after the output directory\n"
    "                  (name it D_gst for the batch)\n"
    "  new-columns     voltage.txt, current.txt, parameters.txt, GE_sequence.txt (name the directory\n"
    "                  with \".gs1\" so that the sequence is read)\n"
    "Every directory gets GroundTruth.json: spike times, stimulus times, meander pulses, per-sweep\n"
    "step values and the applied I, G, GE, GI, gNMDA and membrane V.\n"
    "--preset demo writes one directory of each kind under --out with its own protocol, trace\n"
    "variant, LFP, stimulation and electrode; the other options apply to all of them.";

void Apply(const std::optional<double>& from, double& to) {
  if (from) to = *from;
}

void ApplyWave(const SynthOptions& o, ClampWaveRec& w) {
  Apply(o.I0, w.I0), Apply(o.G0, w.G0), Apply(o.TI, w.TI), Apply(o.TG, w.TG);
  Apply(o.GEamp, w.GEamp), Apply(o.GIamp, w.GIamp), Apply(o.gNMDAamp, w.gNMDAamp);
  Apply(o.TGE, w.TGE), Apply(o.TGI, w.TGI), Apply(o.TgNMDA, w.TgNMDA), Apply(o.EI, w.EI);
}

void ApplyMeander(const SynthOptions& o, MeanderSettings& m) {
  Apply(o.Freq, m.Freq), Apply(o.Vswitch, m.Vswitch), Apply(o.Ipos, m.Ipos), Apply(o.Ineg, m.Ineg);
  Apply(o.Tpulse, m.Tpulse);
}

// "first,last,n" into the three fields.
void ApplyRange(const std::vector<double>& range, double& first, double& last, int& n) {
  if (range.size() != 3) return;
  first = range[0], last = range[1], n = static_cast<int>(range[2]);
}

SynthSettings SettingsFrom(const SynthOptions& o) {
  SynthSettings s = o.s;
  s.protocol = *ProtocolFromName(o.protocol);
  ApplyRange(o.iRange, s.steps.Ifirst, s.steps.Ilast, s.steps.nSteps);
  Apply(o.gStep, s.steps.G0);
  ApplyRange(o.iRange, s.grid.IgFirst, s.grid.IgLast, s.grid.nI);
  ApplyRange(o.gRange, s.grid.GgFirst, s.grid.GgLast, s.grid.nG);
  s.grid.ITable = o.iTable, s.grid.GTable = o.gTable;
  if (!o.waveKinds.empty()) s.waves.kinds = o.waveKinds;
  s.waves.always = o.always;
  ApplyWave(o, s.waves.wave);
  ApplyWave(o, s.fcEstimation.wave);
  if (o.waveKind) s.fcEstimation.wave.WaveKind = *o.waveKind;
  if (!o.iValues.empty()) s.fcCalibration.I = o.iValues;
  if (!o.gValues.empty()) s.fcCalibration.G = o.gValues;
  ApplyMeander(o, s.fcCalibration.meander);
  ApplyMeander(o, s.fcEstimation.meander);
  if (o.sweeps) s.fcEstimation.nSweeps = s.columns.nSweeps = *o.sweeps;
  if (o.columnG.size() == 2) s.columns.Gsweep1 = o.columnG[0], s.columns.dGsweep = o.columnG[1];
  if (o.columnI.size() == 2) s.columns.Isweep1 = o.columnI[0], s.columns.dIsweep = o.columnI[1];
  if (!o.gSeq.empty()) s.columns.gSeq = o.gSeq;
  Apply(o.Erev, s.columns.Erev);
  return s;
}

void Run(const SynthOptions& o) {
  StderrSink warnings;
  const SynthSettings s = SettingsFrom(o);
  if (o.preset == "demo") {
    if (Status st = WriteDemoDataSet(s, o.out, warnings); !st) {
      std::cerr << "synth: " << st.error().What() << "\n";
      SetExitCode(1);
      return;
    }
    std::cout << fmt::format("demo data set written to {}\n", o.out);
    return;
  }
  if (o.abf && s.protocol != SynthProtocol::Steps) {
    std::cerr << "synth: --abf writes the steps protocol only\n";
    SetExitCode(1);
    return;
  }
  auto written = WriteSynthRecording(s, o.out, warnings, o.abf);
  Status abf = Ok();
  const std::string abfName = (s.name.empty() ? "steps" : s.name) + ".abf";
  if (written && o.abf) abf = WriteStepsAbf(std::filesystem::path(o.out) / abfName, s, *written, warnings);
  if (!written || !abf) {
    std::cerr << "synth: " << (written ? abf.error() : written.error()).What() << "\n";
    SetExitCode(1);
    return;
  }
  std::cout << fmt::format("{}: {} sweeps written to {}\n", o.protocol, written->size(), o.out);
}

}  // namespace

void AddSynthCommand(CLI::App& app) {
  static SynthOptions o;
  auto* cmd = app.add_subcommand("synth", "Simulate the model cell and write recordings with their ground truth");
  cmd->footer(kProtocols);
  std::vector<std::string> names;
  for (const SynthProtocol p : kAllProtocols) names.emplace_back(ProtocolName(p));
  SynthSettings& s = o.s;
  RecorderSettings& r = s.recorder;

  cmd->add_option("--out,-o", o.out, "Output directory (the data directory of the recording)")->required();
  cmd->add_option("--protocol,-p", o.protocol, "Protocol")->check(CLI::IsMember(names))->capture_default_str();
  cmd->add_option("--preset", o.preset, "Preset: \"demo\" writes one directory of each kind")
      ->check(CLI::IsMember({"demo"}));
  cmd->add_option("--name", s.name, "Base of the file names (default: the protocol's name)");
  cmd->add_option("--seed", s.seed, "Seed of the noise")->capture_default_str();
  cmd->add_option("--duration", s.duration, "Sweep length, ms (default: the protocol's own)");
  cmd->add_option("--dt", r.dt, "Sampling step, ms")->capture_default_str();
  cmd->add_flag("--binary", s.binary, "Binary \"_b\" traces instead of text");
  cmd->add_flag("--abf", o.abf, "steps: also write all sweeps as one ABF 2 file, <name>.abf")
      ->excludes(cmd->get_option("--preset"));
  cmd->add_flag("--ch4", s.ch4, "Channel 4: the membrane potential");
  cmd->add_flag("--ch56", s.ch56, "Channels 5 and 6: GE and GI");
  cmd->add_flag("--lfp", r.lfp.on, "An LFP channel (binary) or \".lfp\" file (text)");
  cmd->add_option("--stim-freq", r.stimulation.freq, "Extracellular stimulation, Hz (artefacts on Ireal)");
  cmd->add_flag("--stim-file", s.stimFile, "Write the stimulus times to \".stim\"");
  cmd->add_option("--noise-v", r.measurement.noiseV, "Voltage noise s.d., mV")->capture_default_str();
  cmd->add_option("--noise-i", r.measurement.noiseI, "Current noise s.d., pA")->capture_default_str();
  cmd->add_option("--amp-lag", r.measurement.tauAmp, "Lag of the measured current, ms")->capture_default_str();
  cmd->add_option("--electrode-r", r.electrode.Re, "Electrode series resistance, MOhm")->capture_default_str();
  cmd->add_option("--electrode-c", r.electrode.Ce, "Electrode capacitance, pF")->capture_default_str();
  cmd->add_option("--vus", s.Vus, "Reference voltage of the clamp, mV")->capture_default_str();
  cmd->add_option("--mg", r.Mg, "Magnesium for the NMDA block, mM")->capture_default_str();
  cmd->add_option("--truth-step", s.truthStep, "Samples between ground-truth points")->capture_default_str();

  cmd->add_option("--i-range", o.iRange, "steps, grid: FIRST,LAST,N currents, pA")->delimiter(',')->expected(3);
  cmd->add_option("--g-range", o.gRange, "grid: FIRST,LAST,N conductances, nS")->delimiter(',')->expected(3);
  cmd->add_option("--g-step", o.gStep, "steps: conductance applied throughout, nS");
  cmd->add_option("--i-table", o.iTable, "grid: table of currents, pA (GridKind 3)")->delimiter(',');
  cmd->add_option("--g-table", o.gTable, "grid: table of conductances, nS (GridKind 3)")->delimiter(',');
  cmd->add_option("--wave-kinds", o.waveKinds, "waves: kinds, one sweep each")->delimiter(',');
  cmd->add_option("--wave-kind", o.waveKind, "fc-estimation: waveform kind");
  cmd->add_flag("--always", o.always, "waves: the waveform is not limited to the stimulation window");
  cmd->add_option("--i0", o.I0, "Waveform current amplitude, pA");
  cmd->add_option("--g0", o.G0, "Waveform conductance amplitude, nS");
  cmd->add_option("--ti", o.TI, "Period of the current sine, ms");
  cmd->add_option("--tg", o.TG, "Period of the conductance cosine, ms");
  cmd->add_option("--ge", o.GEamp, "Kind 5: excitatory conductance, nS");
  cmd->add_option("--gi", o.GIamp, "Kind 5: inhibitory conductance, nS");
  cmd->add_option("--gnmda", o.gNMDAamp, "Kind 5: NMDA conductance, nS");
  cmd->add_option("--tge", o.TGE, "Kind 5: period of GE, ms (0: constant)");
  cmd->add_option("--tgi", o.TGI, "Kind 5: period of GI, ms (0: constant)");
  cmd->add_option("--tgnmda", o.TgNMDA, "Kind 5: period of gNMDA, ms (0: constant)");
  cmd->add_option("--ei", o.EI, "Kind 5: reversal potential of GI, mV");
  cmd->add_option("--i-values", o.iValues, "fc-calibration: currents, pA")->delimiter(',');
  cmd->add_option("--g-values", o.gValues, "fc-calibration: conductances, nS")->delimiter(',');
  cmd->add_option("--freq", o.Freq, "Meander frequency, Hz");
  cmd->add_option("--vswitch", o.Vswitch, "Meander: V below which the negative pulse ends, mV");
  cmd->add_option("--ipos", o.Ipos, "Meander: positive pulse, pA");
  cmd->add_option("--ineg", o.Ineg, "Meander: negative pulse (magnitude), pA");
  cmd->add_option("--tpulse", o.Tpulse, "Meander: positive pulse duration, ms");
  cmd->add_option("--sweeps", o.sweeps, "fc-estimation, columns: number of sweeps");
  cmd->add_option("--column-g", o.columnG, "columns: G1,dG: conductance of sweep 1 and its increment, nS")
      ->delimiter(',')
      ->expected(2);
  cmd->add_option("--column-i", o.columnI, "columns: I1,dI: current of sweep 1 and its increment, pA")
      ->delimiter(',')
      ->expected(2);
  cmd->add_option("--g-seq", o.gSeq, "new-columns: added conductance per sweep, nS")->delimiter(',');
  cmd->add_option("--erev", o.Erev, "new-columns: reversal potential of the added conductance, mV");
  cmd->callback([] { Run(o); });
}

}  // namespace velmora::cli
