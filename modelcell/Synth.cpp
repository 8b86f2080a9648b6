#include "modelcell/Synth.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <utility>

#include "modelcell/SynthFiles.h"
#include "recording/ParameterFile.h"
#include "recording/SideFiles.h"
#include "recording/TextIO.h"

namespace velmora {

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

int SamplesOf(double duration, double dt) { return static_cast<int>(std::lround(duration / dt)) + 1; }

double SweepDuration(const SynthSettings& s) { return s.duration > 0 ? s.duration : DefaultDuration(s.protocol); }

std::string NameOf(const SynthSettings& s) {
  if (!s.name.empty()) return s.name;
  std::string name(ProtocolName(s.protocol));
  std::erase(name, '-');
  return name;
}

// Evenly spaced as the recorder spaces its steps; one value is the first.
double Spaced(double first, double last, int count, int index0) {
  return count > 1 ? first + (last - first) / (count - 1) * index0 : first;
}

bool NeedsTI(int kind) { return kind == 1 || kind == 3 || kind == 4; }
bool NeedsTG(int kind) { return kind == 2 || kind == 3; }

Error Bad(std::string setting, std::string message) { return Error{"", 0, std::move(setting), std::move(message)}; }

Status CheckWave(const ClampWaveRec& w, int kind, const char* setting) {
  if (kind < 0 || kind > 5) return Bad(setting, fmt::format("waveform kind {} is not one of 0..5", kind));
  if (NeedsTI(kind) && !(w.TI > 0))
    return Bad(setting, fmt::format("waveform kind {} needs a current period TI > 0 ms", kind));
  if (NeedsTG(kind) && !(w.TG > 0))
    return Bad(setting, fmt::format("waveform kind {} needs a conductance period TG > 0 ms", kind));
  return Ok();
}

Status CheckMeander(const MeanderSettings& m, double dt) {
  if (!(m.Freq > 0)) return Bad("meander", "the frequency must be above 0 Hz");
  const int period = MeanderPeriodSamples(m, dt), pulse = MeanderPulseSamples(m, dt);
  if (period < 2) return Bad("meander", fmt::format("a period of {} Hz is shorter than two samples", m.Freq));
  if (pulse < 1 || pulse >= period)
    return Bad("meander", fmt::format("the positive pulse ({} ms) must last from one sample to less than a period",
                                      m.Tpulse));
  if (m.Ipos < 0 || m.Ineg < 0) return Bad("meander", "Ipos and Ineg are magnitudes, 0 or more");
  return Ok();
}

// Fields that every sweep of the main format shares.
RecordingParameters CommonParameters(const SynthSettings& s, double duration) {
  const double dt = s.recorder.dt;
  const int n = SamplesOf(duration, dt);
  RecordingParameters p;
  p.Duration = (n - 1) * dt;
  p.nPar = n;
  p.dtPar = dt;
  p.TimeFactor = 1;
  p.Vus = s.Vus;
  p.HasCh4 = s.ch4;
  p.HasCh56 = s.ch56;
  p.StepPars.CmdScale = 1;
  p.tStimStart = 0;
  p.tStimEnd = p.Duration;
  p.stored[93] = std::string("Velmora model cell");
  p.stored[227] = static_cast<long>(n - 1);  // the recorder's last sample index
  return p;
}

PlannedSweep NewSweep(const SynthSettings& s, int FileNo) {
  PlannedSweep p;
  p.FileNo = FileNo;
  p.spec.duration = SweepDuration(s);
  p.spec.clamp.Vus = s.Vus;
  p.par = CommonParameters(s, p.spec.duration);
  return p;
}

void AddSweep(std::vector<PlannedSweep>& plans, const std::string& name, int count, const char* ext,
              PlannedSweep sweep) {
  const int width = std::max(2, static_cast<int>(std::to_string(count).size()));
  sweep.base = fmt::format("{}{:0{}}", name, sweep.FileNo, width);
  sweep.trace = fmt::format("{}_trace{}_Err{}", sweep.base, sweep.FileNo, ext);
  // The grid windows of a protocol without a grid are its stimulation window,
  // as the reader assumes for a file that lacks them.
  RecordingParameters& par = sweep.par;
  if (par.ProtocolKind != 3) {
    par.GridPars.tIOn = par.GridPars.tGOn = par.tStimStart;
    par.GridPars.tIOff = par.GridPars.tGOff = par.tStimEnd;
  }
  plans.push_back(std::move(sweep));
}

void PlanSteps(const SynthSettings& s, std::vector<PlannedSweep>& plans) {
  const StepsSettings& st = s.steps;
  for (int k = 1; k <= st.nSteps; ++k) {
    PlannedSweep p = NewSweep(s, k);
    const double I = Spaced(st.Ifirst, st.Ilast, st.nSteps, k - 1);
    p.Istep = I, p.Gstep = st.G0;
    p.spec.clamp.wave.I0 = I, p.spec.clamp.wave.G0 = st.G0;
    p.spec.clamp.tIOn = st.tStimStart, p.spec.clamp.tIOff = st.tStimEnd;
    p.par.ProtocolKind = 2;
    p.par.tStimStart = st.tStimStart, p.par.tStimEnd = st.tStimEnd;
    p.par.StepPars.Ifirst = st.Ifirst, p.par.StepPars.Ilast = st.Ilast, p.par.StepPars.nSteps = st.nSteps;
    // The sweep loader takes a ".cc" sweep's step from I0 and G0, the stimulus
    // reconstruction from Ifirst, Ilast and the sweep number: both must agree.
    p.par.ClampWave.I0 = I, p.par.ClampWave.G0 = st.G0;
    AddSweep(plans, NameOf(s), st.nSteps, ".cc", std::move(p));
  }
}

void PlanGrid(const SynthSettings& s, std::vector<PlannedSweep>& plans) {
  const GridSettings& g = s.grid;
  const bool tables = !g.ITable.empty();
  const int nI = tables ? static_cast<int>(g.ITable.size()) : g.nI;
  const int nG = tables ? static_cast<int>(g.GTable.size()) : g.nG;
  std::vector<double> ITable = g.ITable, GTable = g.GTable;
  if (!tables) {
    for (int i = 0; i < nI; ++i) ITable.push_back(Spaced(g.IgFirst, g.IgLast, nI, i));
    for (int j = 0; j < nG; ++j) GTable.push_back(Spaced(g.GgFirst, g.GgLast, nG, j));
  }
  for (int k = 1; k <= nI * nG; ++k) {
    PlannedSweep p = NewSweep(s, k);
    const int j = (k - 1) / nI, i = k - 1 - j * nI;  // 0-based; currents vary fastest
    p.Istep = ITable[i], p.Gstep = GTable[j];
    p.spec.clamp.wave.I0 = ITable[i], p.spec.clamp.wave.G0 = GTable[j];
    p.spec.clamp.tIOn = g.tIOn, p.spec.clamp.tIOff = g.tIOff;
    p.spec.clamp.tGOn = g.tGOn, p.spec.clamp.tGOff = g.tGOff;
    p.par.ProtocolKind = 3;
    p.par.tStimStart = std::min(g.tIOn, g.tGOn), p.par.tStimEnd = std::max(g.tIOff, g.tGOff);
    GridParsRec& gp = p.par.GridPars;
    gp.GridKind = tables ? 3 : 1;
    gp.nI = nI, gp.nG = nG;
    // GridKind 1 is read back from first and last, which must be the very
    // numbers its values were spaced from; the tables are written for every
    // kind, since the reader wants nI and nG numbers on their lines.
    gp.IgFirst = tables ? ITable.front() : g.IgFirst, gp.IgLast = tables ? ITable.back() : g.IgLast;
    gp.GgFirst = tables ? GTable.front() : g.GgFirst, gp.GgLast = tables ? GTable.back() : g.GgLast;
    gp.ITable = ITable, gp.GTable = GTable;
    gp.tIOn = g.tIOn, gp.tIOff = g.tIOff, gp.tGOn = g.tGOn, gp.tGOff = g.tGOff;
    AddSweep(plans, NameOf(s), nI * nG, ".us", std::move(p));
  }
}

// A clamp-waveform sweep as the recorder describes it: ProtocolKind 1, the
// waveform record, limited to the stimulation window unless `always`.
PlannedSweep WaveSweep(const SynthSettings& s, int FileNo, const ClampWaveRec& wave, int kind, double tOn,
                       double tOff, bool always) {
  PlannedSweep p = NewSweep(s, FileNo);
  p.spec.clamp.wave = wave;
  p.spec.clamp.wave.WaveKind = kind;
  if (!always) p.spec.clamp.tIOn = p.spec.clamp.tGOn = tOn, p.spec.clamp.tIOff = p.spec.clamp.tGOff = tOff;
  p.par.ProtocolKind = 1;
  p.par.ClampWave = p.spec.clamp.wave;
  p.par.ClampWave.WaveAlways = always ? 1 : 0;
  if (!always) p.par.tStimStart = tOn, p.par.tStimEnd = tOff;
  return p;
}

void PlanWaves(const SynthSettings& s, std::vector<PlannedSweep>& plans) {
  const WaveSettings& w = s.waves;
  const int count = static_cast<int>(w.kinds.size());
  for (int k = 1; k <= count; ++k) {
    PlannedSweep p = WaveSweep(s, k, w.wave, w.kinds[k - 1], w.tStimStart, w.tStimEnd, w.always);
    AddSweep(plans, NameOf(s), count, ".dc", std::move(p));
  }
}

void SetMeander(PlannedSweep& p, const MeanderSettings& m) {
  p.spec.meander = m;
  p.par.FiringClampOn = 1;
  p.par.FCPars.Freq = m.Freq, p.par.FCPars.Vswitch = m.Vswitch;
  p.par.FCPars.Ipos = m.Ipos, p.par.FCPars.Ineg = m.Ineg, p.par.FCPars.Tpulse = m.Tpulse;
}

void PlanFcCalibration(const SynthSettings& s, std::vector<PlannedSweep>& plans) {
  const FcCalibrationSettings& fc = s.fcCalibration;
  const int count = static_cast<int>(fc.I.size() * fc.G.size());
  int k = 0;
  for (const double G : fc.G) {
    for (const double I : fc.I) {
      ClampWaveRec wave;
      wave.I0 = I, wave.G0 = G;
      PlannedSweep p = WaveSweep(s, ++k, wave, 0, 0, 0, true);
      p.Istep = I, p.Gstep = G;
      SetMeander(p, fc.meander);
      AddSweep(plans, NameOf(s), count, ".FC", std::move(p));
    }
  }
}

void PlanFcEstimation(const SynthSettings& s, std::vector<PlannedSweep>& plans) {
  const FcEstimationSettings& fc = s.fcEstimation;
  for (int k = 1; k <= fc.nSweeps; ++k) {
    PlannedSweep p = WaveSweep(s, k, fc.wave, fc.wave.WaveKind, 0, 0, true);
    SetMeander(p, fc.meander);
    AddSweep(plans, NameOf(s), fc.nSweeps, ".FC", std::move(p));
  }
}

double AddedConductance(const SynthSettings& s, int k) {
  const auto& seq = s.columns.gSeq;
  return s.protocol == SynthProtocol::NewColumns && k <= static_cast<int>(seq.size()) ? seq[k - 1] : 0.0;
}

void PlanColumns(const SynthSettings& s, std::vector<PlannedSweep>& plans) {
  const ColumnSettings& c = s.columns;
  for (int k = 1; k <= c.nSweeps; ++k) {
    PlannedSweep p = NewSweep(s, k);
    const double g = AddedConductance(s, k);
    const double G = c.Gsweep1 + (k - 1) * c.dGsweep + g;
    const double I = c.Isweep1 + (k - 1) * c.dIsweep + (c.Erev - s.Vus) * g;
    p.Istep = I, p.Gstep = G;
    p.spec.clamp.wave.I0 = I, p.spec.clamp.wave.G0 = G;
    p.spec.clamp.tIOn = p.spec.clamp.tGOn = c.tOn;
    p.spec.clamp.tIOff = p.spec.clamp.tGOff = c.tOn + c.tStimDur;
    plans.push_back(std::move(p));
  }
}

double Round4(double x) { return std::round(x * 1e4) / 1e4; }
// Times k dt without the float dust of the product (ms).
double RoundTime(double t) { return std::round(t * 1e6) / 1e6; }

Json Times(const std::vector<double>& t) {
  Json a = Json::array();
  for (const double x : t) a.push_back(RoundTime(x));
  return a;
}

Json Series(const std::vector<double>& v, int step) {
  Json a = Json::array();
  for (std::size_t k = 0; k < v.size(); k += static_cast<std::size_t>(step)) a.push_back(Round4(v[k]));
  return a;
}

Json Optional(const std::optional<double>& x) { return x ? Json(*x) : Json(nullptr); }

Json SweepTruth(const SynthSettings& s, const PlannedSweep& p, const SweepResult& r, bool columns) {
  Json j;
  if (columns) {
    j["column"] = p.FileNo;
  } else {
    j["trace"] = p.trace;
    j["parameters"] = p.base + ".par";
    j["FileNo"] = p.FileNo;
  }
  j["Istep"] = Optional(p.Istep);
  j["Gstep"] = Optional(p.Gstep);
  j["samples"] = r.samples();
  j["spikeTimes"] = Times(r.spikeTimes);
  j["stimTimes"] = Times(r.stimTimes);
  if (p.spec.meander) {
    Json pulses = Json::array();
    for (const MeanderPulse& m : r.pulses)
      pulses.push_back({RoundTime(m.kPositive * r.dt),
                        m.kNegative >= 0 ? Json(RoundTime(m.kNegative * r.dt)) : Json(nullptr),
                        m.kEnd >= 0 ? Json(RoundTime(m.kEnd * r.dt)) : Json(nullptr)});
    j["meanderPulses"] = std::move(pulses);
  }
  Json series;
  series["step"] = s.truthStep * r.dt;
  series["I"] = Series(r.I, s.truthStep);
  series["G"] = Series(r.G, s.truthStep);
  series["GE"] = Series(r.GE, s.truthStep);
  series["GI"] = Series(r.GI, s.truthStep);
  series["gNMDA"] = Series(r.gNMDA, s.truthStep);
  series["Vm"] = Series(r.Vm, s.truthStep);
  j["series"] = std::move(series);
  return j;
}

Json RecordingTruth(const SynthSettings& s) {
  const CellParameters& c = s.cell;
  const RecorderSettings& r = s.recorder;
  Json j;
  j["generator"] = "velmora-cli synth";
  j["version"] = 1;
  j["protocol"] = ProtocolName(s.protocol);
  j["seed"] = s.seed;
  j["dt"] = r.dt;
  j["timeBase"] = "ms; sample k of a sweep is at k*dt, the time column of a text trace";
  j["cell"] = {{"C", c.C},     {"GL", c.GL}, {"EL", c.EL}, {"gNa", c.gNa},         {"ENa", c.ENa},
               {"gK", c.gK},   {"EK", c.EK}, {"gM", c.gM}, {"tauMmax", c.tauMmax}, {"Vshift", c.Vshift}};
  j["clamp"] = {{"Vus", s.Vus}, {"Mg", r.Mg}, {"VE", 0}, {"ENMDA", 0}};
  j["electrode"] = {{"Re", r.electrode.Re}, {"Ce", r.electrode.Ce}};
  j["measurement"] = {{"noiseV", r.measurement.noiseV},
                      {"noiseI", r.measurement.noiseI},
                      {"tauAmp", r.measurement.tauAmp}};
  j["stimulation"] = {{"freq", r.stimulation.freq},
                      {"tFirst", r.stimulation.tFirst},
                      {"period", r.stimulation.freq > 0 ? 1000 / r.stimulation.freq - r.stimulation.shortfall : 0},
                      {"amplitude", r.stimulation.amplitude}};
  j["lfp"] = r.lfp.on;
  return j;
}

// One top-level key per line and one sweep per line: readable at the top,
// compact where the long series are.
std::string TruthText(const Json& truth) {
  std::string out = "{\n";
  bool first = true;
  for (const auto& [key, value] : truth.items()) {
    out += fmt::format("{}{}: ", first ? "" : ",\n", Json(key).dump());
    first = false;
    if (key != "sweeps") {
      out += value.dump();
      continue;
    }
    out += "[\n";
    for (std::size_t i = 0; i < value.size(); ++i) out += (i ? ",\n" : "") + value[i].dump();
    out += "\n]";
  }
  return out + "\n}\n";
}

Json MeanderTruth(const MeanderSettings& m) {
  return {{"Freq", m.Freq}, {"Vswitch", m.Vswitch}, {"Ipos", m.Ipos}, {"Ineg", m.Ineg}, {"Tpulse", m.Tpulse}};
}

// The stimulus times as the program's own artefact detector would write them:
// the time of the sample in the loaded sweep, which starts one sample after
// the file's first.
std::vector<double> DetectorStimTimes(const SweepResult& r) {
  std::vector<double> t;
  for (const double ts : r.stimTimes) t.push_back(ts - r.dt);
  return t;
}

Status WriteMainFormatSweep(const SynthSettings& s, const fs::path& dir, const PlannedSweep& p,
                            const SweepResult& r) {
  if (Status st = WriteParameterFile(dir / (p.base + ".par"), p.par); !st) return st;
  const TraceLayout layout{s.ch4, s.ch56, s.recorder.lfp.on};
  const Status st = s.binary ? WriteBinaryTrace(dir / (p.trace + "_b"), r, layout)
                             : WriteTextTrace(dir / p.trace, r, layout);
  if (!st) return st;
  if (s.recorder.lfp.on && !s.binary)
    if (Status l = WriteLfpFile(dir / (p.base + ".lfp"), r); !l) return l;
  if (s.stimFile && !r.stimTimes.empty())
    if (Status t = WriteStimFile(dir / (p.base + ".stim"), DetectorStimTimes(r)); !t) return t;
  return Ok();
}

// V and I hold the recorded voltage and measured current of every sweep.
Status WriteColumnFormat(const SynthSettings& s, const fs::path& dir, const std::vector<PlannedSweep>& plans,
                         const std::vector<std::vector<double>>& Vs, const std::vector<std::vector<double>>& Is,
                         WarningSink& warnings) {
  const ColumnSettings& c = s.columns;
  ColumnHeader h;
  h.nSweeps = c.nSweeps;
  h.Gsweep1 = c.Gsweep1, h.dGsweep = c.dGsweep, h.Isweep1 = c.Isweep1, h.dIsweep = c.dIsweep;
  h.tOn = c.tOn, h.tStimDur = c.tStimDur;
  h.SampleRate = 1000 / s.recorder.dt;
  h.Bridge = s.recorder.electrode.Re;
  h.Vref = s.Vus, h.Erev = c.Erev;
  for (const PlannedSweep& p : plans) h.gSeq.push_back(AddedConductance(s, p.FileNo));

  std::vector<const std::vector<double>*> V, I;
  for (std::size_t k = 0; k < Vs.size(); ++k) V.push_back(&Vs[k]), I.push_back(&Is[k]);
  if (s.protocol == SynthProtocol::OldColumns) {
    // The batch finds "D_gst\D_gst_voltage.txt": the files take the directory's name.
    fs::path named = fs::absolute(dir).lexically_normal();
    if (named.filename().empty()) named = named.parent_path();  // "D_gst/"
    const std::string stem = named.filename().string() + "_";
    if (Status st = WriteColumnFile(dir / (stem + "voltage.txt"), V, 4); !st) return st;
    if (Status st = WriteColumnFile(dir / (stem + "current.txt"), I, 3); !st) return st;
    return WriteOldHeader(dir / (stem + "header.txt"), h);
  }
  const bool sequence = std::any_of(h.gSeq.begin(), h.gSeq.end(), [](double g) { return g != 0; });
  if (sequence && dir.string().find(".gs1") == std::string::npos)
    warnings.Warn(fmt::format("{}: GE_sequence.txt is read only from a directory whose name contains \".gs1\"; "
                              "without it the added conductances of the sweeps are lost",
                              dir.string()));
  if (Status st = WriteColumnFile(dir / "voltage.txt", V, 4); !st) return st;
  if (Status st = WriteColumnFile(dir / "current.txt", I, 3); !st) return st;
  if (Status st = WriteNewHeader(dir / "parameters.txt", h); !st) return st;
  return WriteGESequence(dir / "GE_sequence.txt", h);
}

}  // namespace

std::string_view ProtocolName(SynthProtocol p) {
  switch (p) {
    case SynthProtocol::Steps: return "steps";
    case SynthProtocol::Grid: return "grid";
    case SynthProtocol::Waves: return "waves";
    case SynthProtocol::FcCalibration: return "fc-calibration";
    case SynthProtocol::FcEstimation: return "fc-estimation";
    case SynthProtocol::OldColumns: return "old-columns";
    case SynthProtocol::NewColumns: return "new-columns";
  }
  return "";
}

std::optional<SynthProtocol> ProtocolFromName(std::string_view name) {
  for (const SynthProtocol p : kAllProtocols)
    if (ProtocolName(p) == name) return p;
  return std::nullopt;
}

double DefaultDuration(SynthProtocol p) {
  switch (p) {
    case SynthProtocol::Waves:
    case SynthProtocol::FcCalibration: return 2000;
    case SynthProtocol::FcEstimation: return 10000;
    default: return 1000;
  }
}

ClampWaveRec WaveSettings::DefaultWave() {
  ClampWaveRec w;
  w.I0 = 200, w.G0 = 5;    // pA, nS
  w.TI = 500, w.TG = 400;  // ms
  w.GEamp = 3, w.GIamp = 5, w.gNMDAamp = 1;  // nS
  w.TGE = 500, w.TGI = 700, w.TgNMDA = 0;    // ms
  w.EI = -75;  // mV
  return w;
}

ClampWaveRec FcEstimationSettings::DefaultWave() {
  ClampWaveRec w;
  w.WaveKind = 3;
  w.I0 = 100, w.TI = 4000;  // pA, ms
  w.G0 = 5, w.TG = 3000;    // nS, ms
  w.EI = -75;
  return w;
}

Status CheckSynthSettings(const SynthSettings& s) {
  const RecorderSettings& r = s.recorder;
  if (!(r.dt > 0) || !std::isfinite(r.dt)) return Bad("dt", "the sampling step must be above 0 ms");
  const double duration = SweepDuration(s);
  if (!(duration > 0) || !std::isfinite(duration)) return Bad("duration", "must be above 0 ms");
  const double samples = std::round(duration / r.dt) + 1;
  const bool columns = s.protocol == SynthProtocol::OldColumns || s.protocol == SynthProtocol::NewColumns;
  // The column reader stops at 900,001 lines, the trace reader at 9,000,001 samples.
  const double cap = columns ? kMaxSweepSamples : kMaxRawSamples;
  if (samples > cap)
    return Bad("duration", fmt::format("{} ms at {} ms makes {} samples; the readers keep at most {}", duration,
                                       r.dt, samples, cap));
  if (s.truthStep < 1) return Bad("truth step", "must be at least one sample");
  for (const std::string_view part : {"trace", "_Err", ".us", ".cc", ".FC", ".VC", "/", "\\"})
    if (s.name.find(part) != std::string::npos)
      return Bad("name", fmt::format("\"{}\" contains \"{}\", which the readers take as part of a trace name",
                                     s.name, part));
  const MeasurementSettings& m = r.measurement;
  if (m.noiseV < 0 || m.noiseI < 0 || m.tauAmp < 0) return Bad("noise", "noise and lag must be 0 or more");
  if (r.electrode.Re < 0 || r.electrode.Ce < 0) return Bad("electrode", "Re and Ce must be 0 or more");
  const StimulationSettings& stim = r.stimulation;
  if (stim.freq < 0 || (stim.freq > 0 && !(1000 / stim.freq - stim.shortfall > r.dt)) || stim.tFirst < 0)
    return Bad("stimulation", "the stimuli must start at 0 ms or later, more than a sample apart");

  switch (s.protocol) {
    case SynthProtocol::Steps:
      if (s.steps.nSteps < 1) return Bad("steps", "at least one step");
      break;
    case SynthProtocol::Grid: {
      const GridSettings& g = s.grid;
      if (g.ITable.empty() != g.GTable.empty()) return Bad("grid", "a table grid needs both tables");
      const int nI = g.ITable.empty() ? g.nI : static_cast<int>(g.ITable.size());
      const int nG = g.ITable.empty() ? g.nG : static_cast<int>(g.GTable.size());
      if (nI < 1 || nG < 1 || nI > kMaxTableEntries || nG > kMaxTableEntries)
        return Bad("grid", fmt::format("{} x {} cells: each side holds 1 to {}", nI, nG, kMaxTableEntries));
      break;
    }
    case SynthProtocol::Waves:
      if (s.waves.kinds.empty()) return Bad("waves", "at least one waveform kind");
      for (const int kind : s.waves.kinds)
        if (Status st = CheckWave(s.waves.wave, kind, "waves"); !st) return st;
      break;
    case SynthProtocol::FcCalibration:
      if (s.fcCalibration.I.empty() || s.fcCalibration.G.empty())
        return Bad("fc-calibration", "at least one current and one conductance");
      return CheckMeander(s.fcCalibration.meander, r.dt);
    case SynthProtocol::FcEstimation:
      if (s.fcEstimation.nSweeps < 1) return Bad("fc-estimation", "at least one sweep");
      if (Status st = CheckWave(s.fcEstimation.wave, s.fcEstimation.wave.WaveKind, "fc-estimation"); !st) return st;
      return CheckMeander(s.fcEstimation.meander, r.dt);
    case SynthProtocol::OldColumns:
    case SynthProtocol::NewColumns:
      if (s.columns.nSweeps < 1 || s.columns.nSweeps > kMaxSweeps)
        return Bad("columns", fmt::format("{} sweeps: a column file holds 1 to {}", s.columns.nSweeps, kMaxSweeps));
      break;
  }
  return Ok();
}

std::vector<PlannedSweep> PlanSweeps(const SynthSettings& s) {
  std::vector<PlannedSweep> plans;
  switch (s.protocol) {
    case SynthProtocol::Steps: PlanSteps(s, plans); break;
    case SynthProtocol::Grid: PlanGrid(s, plans); break;
    case SynthProtocol::Waves: PlanWaves(s, plans); break;
    case SynthProtocol::FcCalibration: PlanFcCalibration(s, plans); break;
    case SynthProtocol::FcEstimation: PlanFcEstimation(s, plans); break;
    case SynthProtocol::OldColumns:
    case SynthProtocol::NewColumns: PlanColumns(s, plans); break;
  }
  return plans;
}

Result<std::vector<SynthSweep>> WriteSynthRecording(const SynthSettings& s, const fs::path& dir,
                                                    WarningSink& warnings, bool keepSamples) {
  if (Status st = CheckSynthSettings(s); !st) return st.error();
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) return Error{dir.string(), 0, "", "cannot create the directory: " + ec.message()};

  const bool columns = s.protocol == SynthProtocol::OldColumns || s.protocol == SynthProtocol::NewColumns;
  const std::vector<PlannedSweep> plans = PlanSweeps(s);
  Json truth = RecordingTruth(s);
  if (s.protocol == SynthProtocol::FcCalibration) truth["meander"] = MeanderTruth(s.fcCalibration.meander);
  if (s.protocol == SynthProtocol::FcEstimation) truth["meander"] = MeanderTruth(s.fcEstimation.meander);
  Json sweepsTruth = Json::array();

  std::vector<SynthSweep> written;
  std::vector<std::vector<double>> columnV, columnI;
  std::vector<std::pair<std::string, std::string>> list;
  double loopGain = 0;  // largest G Re of the clamp through the electrode
  for (std::size_t i = 0; i < plans.size(); ++i) {
    const PlannedSweep& p = plans[i];
    SweepResult r = SimulateSweep(s.cell, s.recorder, p.spec, s.seed, static_cast<int>(i) + 1);
    for (const double G : r.G) loopGain = std::max(loopGain, std::fabs(G) * s.recorder.electrode.Re / 1000);
    if (!std::all_of(r.V.begin(), r.V.end(), [](double v) { return std::isfinite(v); }))
      return Error{dir.string(), 0, p.trace,
                   fmt::format("the simulation ran away (clamp conductance times electrode resistance {:.2f})",
                               loopGain)};
    sweepsTruth.push_back(SweepTruth(s, p, r, columns));
    if (!columns) {
      if (Status st = WriteMainFormatSweep(s, dir, p, r); !st) return st.error();
      list.emplace_back(p.trace, p.base + ".par");
    }
    SynthSweep& w = written.emplace_back();
    w.trace = columns ? fmt::format("column {}", p.FileNo) : p.trace;
    w.FileNo = p.FileNo, w.Istep = p.Istep, w.Gstep = p.Gstep;
    w.spikeTimes = r.spikeTimes;
    w.pulses = r.pulses;
    if (columns) columnV.push_back(r.V), columnI.push_back(r.Ireal);
    if (keepSamples) w.result = std::move(r);
  }
  if (loopGain >= 0.5)
    warnings.Warn(fmt::format("{}: the clamp conductance times the electrode resistance reaches {:.2f}; the clamp "
                              "loop rings and may run away above 1",
                              dir.string(), loopGain));

  if (columns) {
    if (Status st = WriteColumnFormat(s, dir, plans, columnV, columnI, warnings); !st) return st.error();
  } else if (Status st = WriteListOfFiles(dir / "ListOfFiles", list); !st) {
    return st.error();
  }
  truth["sweeps"] = std::move(sweepsTruth);
  if (Status st = WriteFileAtomically(dir / "GroundTruth.json", TruthText(truth)); !st) return st.error();
  return written;
}

SynthSettings FcCalibrationExample(SynthSettings s) {
  s.protocol = SynthProtocol::FcCalibration;
  s.duration = 1000;                                 // ms: 15 pulses per sweep
  s.fcCalibration.I = {-100, -50, 0, 50, 100};      // pA
  s.fcCalibration.G = {0, 10.0 / 3, 20.0 / 3, 10};  // nS
  s.recorder.dt = 0.025;  // ms
  return s;
}

SynthSettings FcEstimationExample(SynthSettings s) {
  s.protocol = SynthProtocol::FcEstimation;
  s.duration = 6000;  // ms
  s.recorder.dt = 0.025;  // ms
  return s;
}

Status WriteDemoDataSet(const SynthSettings& base, const fs::path& root, WarningSink& warnings) {
  struct Entry {
    const char* dir;
    SynthProtocol protocol;
    bool binary;
  };
  const Entry entries[] = {
      {"steps", SynthProtocol::Steps, false},
      {"grid", SynthProtocol::Grid, true},
      {"grid_table", SynthProtocol::Grid, false},
      {"waves", SynthProtocol::Waves, true},
      {"fc_calibration", SynthProtocol::FcCalibration, true},
      {"fc_estimation", SynthProtocol::FcEstimation, false},
      {"cell_gst", SynthProtocol::OldColumns, false},
      {"cell.gs1", SynthProtocol::NewColumns, false},
  };
  for (const Entry& e : entries) {
    SynthSettings s = base;
    s.protocol = e.protocol;
    s.binary = e.binary;
    s.name.clear();
    s.duration = 0;
    if (std::string_view(e.dir) == "grid_table") {
      s.name = "gridtable";
      s.grid.ITable = {50, 250, 150};
      s.grid.GTable = {10, 0};
    }
    if (e.protocol == SynthProtocol::Grid && e.binary) s.ch4 = true;
    if (e.protocol == SynthProtocol::Waves) {
      s.recorder.lfp.on = true;
      s.recorder.stimulation.freq = 2;
      s.stimFile = true;
      s.ch56 = true;
    }
    if (e.protocol == SynthProtocol::FcCalibration) s = FcCalibrationExample(s);
    if (e.protocol == SynthProtocol::FcEstimation) s = FcEstimationExample(s);
    // What the detectors must cope with, unless the caller chose the noise.
    MeasurementSettings& m = s.recorder.measurement;
    const bool noisy = e.protocol == SynthProtocol::Waves || e.protocol == SynthProtocol::FcCalibration ||
                       e.protocol == SynthProtocol::FcEstimation;
    if (noisy && m.noiseV == 0 && m.noiseI == 0) m.noiseV = 0.1, m.noiseI = 5;
    auto written = WriteSynthRecording(s, root / e.dir, warnings);
    if (!written) return written.error();
  }
  return Ok();
}

}  // namespace velmora
