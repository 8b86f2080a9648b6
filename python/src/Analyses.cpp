// The analyses, each the core call that the program and velmora-cli make:
// the results are theirs, number for number.

#include <fmt/format.h>
#include <pybind11/numpy.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "Bridge.h"
#include "Sweeps.h"
#include "actions/FiRun.h"
#include "actions/FiringClampRun.h"
#include "actions/LoadedData.h"
#include "analyses/Statistics.h"
#include "modelcell/Synth.h"
#include "recording/Filter.h"
#include "recording/TraceFile.h"
#include "session/Session.h"
#include "spikes/Batch.h"

namespace velmora::python {

namespace {

namespace fs = std::filesystem;
using namespace py::literals;

// Entries first..end-1 of `v`, copied: results are small, and outlive the records they come from.
template <class T>
py::array_t<T> Array(const std::vector<T>& v, std::size_t first = 0, std::size_t end = SIZE_MAX) {
  end = std::max(first, std::min(end, v.size()));
  return py::array_t<T>(static_cast<py::ssize_t>(end - first), v.data() + first);
}

// The sweep as the read pipeline leaves it for the analyses: its voltage
// filtered when "Filter" is ticked (never a firing-clamp sweep's, nor one
// filtered already). Points into `d` unless filtering made a copy in `own`.
const Recording& AsRead(const SweepData& d, const FilterSettings& filter, std::optional<Recording>& own,
                        WarningSink& sink) {
  if (!filter.on || d.rec.par.FiringClampOn == 1 || d.slot().filteredIterations != 0) return d.rec;
  own = d.rec;
  FilterVoltage(own->traces[1], own->dt, filter, sink);
  return *own;
}

// ---- filter_voltage, detect_spikes

// The settings are taken apart from the Python object while the lock is
// held: another thread may change them meanwhile.

SweepPtr FilterSweep(const SweepPtr& d, const Settings& settings) {
  PythonSink sink;
  const FilterSettings filter = settings.filter;
  return Unlocked([&] {
    auto copy = std::make_shared<SweepData>(*d);
    FilterVoltage(copy->rec.traces[1], copy->rec.dt, filter, sink);
    return copy;
  });
}

constexpr std::array<const char*, 9> kSpikeColumns = {"tAP",  "ISI",     "VT",       "tVT", "Vpeak",
                                                      "WidthAP", "VAHP", "VAHPfast", "Vav"};

py::dict SpikeTable(const SpikeList& s) {
  const std::array<const std::vector<double>*, 9> columns = {&s.tAP,     &s.ISI,  &s.VT,       &s.tVT, &s.Vpeak,
                                                             &s.WidthAP, &s.VAHP, &s.VAHPfast, &s.Vav};
  py::dict table;
  const std::size_t n = static_cast<std::size_t>(s.nSpikes);
  for (std::size_t c = 0; c < columns.size(); ++c) table[kSpikeColumns[c]] = Array(*columns[c], 1, n + 1);
  return table;
}

py::dict DetectSpikesOf(const SweepData& d, const Settings& settings) {
  PythonSink sink;
  const FilterSettings filter = settings.filter;
  const SpikeSettings criteria = settings.spikes;
  SpikeList spikes;
  const bool detected = Unlocked([&] {
    std::optional<Recording> filtered;
    return DetectSpikes(spikes, AsRead(d, filter, filtered, sink), 1, criteria);
  });
  if (!detected)
    sink.Warn(fmt::format("{}: no spike detection for a firing-clamp recording or one with SpikesOff = 1", d.name()));
  return SpikeTable(spikes);
}

// ---- statistics

void Limit(const char* name, double value, double lo, double hi) {
  if (!(value >= lo && value <= hi))
    throw py::value_error(fmt::format("{} must lie within {}..{}, not {}", name, lo, hi, value));
}

py::dict Points(const Chart& chart, const char* series, const char* x, const char* y) {
  std::vector<double> xs, ys;
  if (const Series* s = FindSeries(chart, series))
    for (const ChartPoint& p : s->points) xs.push_back(p.x), ys.push_back(p.y);
  return py::dict(py::arg(x) = Array(xs), py::arg(y) = Array(ys));
}

py::dict StatisticsOf(const SweepData& d, const Settings& settings, std::optional<double> start,
                      std::optional<double> end, int bins, double lower, double upper, double ntCorr, int nDraw) {
  // What the statistics window takes: more bins than a screen has pixels are no histogram.
  Limit("bins", bins, 1, 10000);
  Limit("nt_corr", ntCorr, 0, kMaxCorrLags);
  Limit("n_draw", nDraw, 1, 1000000);
  StatisticsSettings s{.upper = upper, .lower = lower, .n = bins, .nt_corr = ntCorr, .StatDrawStep = nDraw};
  PythonSink sink;
  const FilterSettings filter = settings.filter;
  StatisticsWindow window;
  std::optional<double> tau;  // s, as of the window's last redraw, like its text
  const StatisticsState st = Unlocked([&] {
    std::optional<Recording> own;
    const Recording* rec = &AsRead(d, filter, own, sink);
    if (start || end) {
      if (!own) own = *rec;
      if (start) own->tOn = *start;
      if (end) own->tOff = *end;
      rec = &*own;
    }
    Chart voltage, current;
    return AnalyzeStatistics(*rec, 1, voltage, current, s, window, sink, [&](const StatisticsState& now) {
      if (const auto t = StatisticsTau(now)) tau = t;
    });
  });
  const double variance = st.StatMeanSq - st.StatMean * st.StatMean;
  return py::dict("samples"_a = st.StatCount > 0 ? st.iSample + 1 : 0, "mean"_a = st.StatMean,
                  "dispersion"_a = std::sqrt(std::max(0.0, variance)), "tau"_a = tau,
                  "histogram"_a = Points(window.histogram, "Histogram", "V", "fraction"),
                  "correlation"_a = Points(window.correlation, "Correlation", "lag", "value"));
}

// ---- F-I

py::dict FiTable(const Session& session, const FIRun& run) {
  std::vector<long> slot, nSpikes, nTrain;
  std::vector<double> G, I, nuLast;
  py::list files;
  const auto& names = session.rec.FileNames;
  for (const FISweep& s : run.sweeps) {
    slot.push_back(s.slot), nSpikes.push_back(s.nSpikes), nTrain.push_back(s.nTrain);
    G.push_back(s.Gclamp), I.push_back(s.Iclamp), nuLast.push_back(s.nuLast);
    files.append(s.slot < static_cast<int>(names.size()) && !names[s.slot].empty() ? names[s.slot]
                                                                                    : fmt::format("column {}", s.slot));
  }
  return py::dict("sweep"_a = Array(slot), "Gclamp"_a = Array(G), "Iclamp"_a = Array(I), "nSpikes"_a = Array(nSpikes),
                  "nTrain"_a = Array(nTrain), "nuLast"_a = Array(nuLast), "file"_a = files);
}

py::dict FiReport(const Session& session, const Result<FIRun>& run, const fs::path& dir) {
  const FIRun& done = Take(run);
  if (!done.stopped.empty()) throw Failed{Error{dir.string(), 0, "", "F-I analysis stopped: " + done.stopped}};
  return FiTable(session, done);
}

Settings FiSettings(const Settings& given, bool rewrite) {
  Settings s = given;
  if (rewrite) s.fi.AppendOutput = false;
  return s;
}

// A data directory as velmora-cli fi reads it: the recordings of its list,
// or the column files of an experiment.
py::dict FiOfDirectory(const fs::path& dir, const Settings& given, const std::string& format,
                       const std::vector<std::string>& select, const fs::path& resultDir, bool rewrite) {
  Settings settings = FiSettings(given, rewrite);
  settings.format = format == "old"   ? FileFormat::OldVarnel
                    : format == "new" ? FileFormat::NewVarnel
                                      : FileFormat::Main;
  PythonSink sink;
  Session session;
  auto run = Unlocked([&]() -> Result<FIRun> {
    auto held = HoldActions();
    if (settings.format == FileFormat::Main) {
      auto selected = ListedSelection(session, dir, select, sink);
      if (!selected) return selected.error();
      return FICurvesOfSelection(session, settings, *selected, resultDir, sink);
    }
    session.dataDir = dir;
    auto files = ColumnFilesIn(dir, settings.format);
    if (!files) return files.error();
    session.files = *files;
    return FICurves(session, settings, resultDir, sink);
  });
  return FiReport(session, run, dir);
}

// Sweeps in memory, as the program runs F-I over the sweeps it has loaded:
// each takes a slot with what its read kept, so that none is read again.
py::dict FiOfSweeps(const std::vector<SweepPtr>& sweeps, const Settings& given, const fs::path& resultDir,
                    bool rewrite) {
  Settings settings = FiSettings(given, rewrite);
  settings.format = FileFormat::Main;
  if (sweeps.size() > static_cast<std::size_t>(kMaxSweeps))
    throw py::value_error(
        fmt::format("{} sweeps are given; at most {} are analysed at once", sweeps.size(), kMaxSweeps));
  PythonSink sink;
  Session session;
  auto run = Unlocked([&]() -> Result<FIRun> {
    Recording& rec = session.rec;
    rec.FileNames.assign(1, "");
    for (const SweepPtr& d : sweeps) {
      const int j = ++rec.nFiles;
      SweepSlot& slot = rec.traces[j] = d->slot();
      SweepReading& kept = *slot.reading;
      // A sweep that no file holds is never read again: it is as "Analyze
      // since t0" and "Lost parameters" now ask.
      if (d->kind != "main") {
        kept.t0Setting = settings.load.t0;
        kept.IrealAbsent = settings.load.lost == LostParameters::IrealAbsent;
        if (slot.filteredIterations != 0 && !(settings.filter.on && FilteredAs(slot, settings.filter)))
          return Error{d->name(), 0, "", "its voltage went through another filter than the settings'; give the "
                                         "sweep as read"};
      }
      rec.FileNames.push_back(kept.trace);
    }
    auto held = HoldActions();
    session.dataDir = resultDir;
    MarkLoaded(session, FileFormat::Main, settings.load);
    return FICurves(session, settings, resultDir, sink);
  });
  return FiReport(session, run, resultDir);
}

// ---- firing clamp

constexpr std::array<const char*, kPulseArrays> kPulseColumns = {
    "tPulse", "PulseV", "subV", "VT", "NegPulseDur", "VHalfPulse", "I",        "G",         "gNMDA",
    "Iest",   "Gest",   "gNMDAest", "Imeander", "GE", "GI",       "Vsyn",      "Vss",       "z1",
    "z2",     "z3",     "PulseDur", "PulseV_VT", "dVdt", "dVdt_V1", "dVdt_V2"};

py::list FiringClampTables(const FiringClampRun& run) {
  py::list files;
  for (const FiringClampFile& f : run.files) {
    py::dict pulses;
    if (f.pulses) {
      const auto arrays = f.pulses->Arrays();
      const std::size_t n = static_cast<std::size_t>(f.pulses->nPulses);
      for (int c = 0; c < kPulseArrays; ++c) pulses[kPulseColumns[c]] = Array(*arrays[c], 1, n + 1);
    }
    py::object estimate = py::none();
    if (f.estimation) {
      const EstimateSummary& s = f.summary;
      const EstimationReport& r = *f.estimation;
      estimate = py::dict("first"_a = s.first, "last"_a = s.last, "meanIest"_a = s.meanIest, "meanI"_a = s.meanI,
                          "meanGest"_a = s.meanGest, "meanG"_a = s.meanG, "rmsI"_a = s.rmsI, "rmsG"_a = s.rmsG,
                          "notConverged"_a = r.notConverged, "zeroVariance"_a = r.zeroVariance,
                          "badCorrection"_a = r.badCorrection, "notFinite"_a = r.notFinite);
    }
    files.append(py::dict("slot"_a = f.slot, "file"_a = f.name, "analysed"_a = f.analysed, "nPulses"_a = f.nPulses,
                          "nFlaws"_a = f.nFlaws, "pulses"_a = pulses, "estimate"_a = estimate));
  }
  return files;
}

py::list FiringClampOf(const fs::path& dir, const Settings& given, const std::vector<std::string>& select,
                       const FiringClampRequest& request) {
  Settings settings = given;
  ApplyRequest(settings, request);
  PythonSink sink;
  auto run = Take(Unlocked([&] {
    auto held = HoldActions();
    Session session;
    return FiringClampRunOfDirectory(session, settings, dir, select, request, sink);
  }));
  if (run.approximationFailed)
    throw Failed{Error{dir.string(), 0, "", "the run stopped at the approximation of " + run.files.back().name}};
  for (const FiringClampFile& f : run.files)
    if (NothingEstimated(f)) throw Failed{Error{f.name, 0, "", "no pulse was estimated"}};
  return FiringClampTables(run);
}

// ---- the model cell

py::object Synth(const fs::path& out, const std::string& protocol, const std::string& preset, std::uint64_t seed,
                 std::optional<double> duration, std::optional<double> dt, bool binary, const std::string& name,
                 std::optional<double> noiseV, std::optional<double> noiseI) {
  SynthSettings s;
  const auto chosen = ProtocolFromName(protocol);
  if (!chosen) throw py::value_error(fmt::format("no protocol \"{}\"", protocol));
  if (!preset.empty() && preset != "demo") throw py::value_error(fmt::format("no preset \"{}\"; \"demo\" is", preset));
  s.protocol = *chosen;
  s.seed = seed;
  s.binary = binary;
  s.name = name;
  if (duration) s.duration = *duration;
  if (dt) s.recorder.dt = *dt;
  if (noiseV) s.recorder.measurement.noiseV = *noiseV;
  if (noiseI) s.recorder.measurement.noiseI = *noiseI;
  PythonSink sink;
  if (preset == "demo") {
    Take(Unlocked([&] {
      auto held = HoldActions();
      return WriteDemoDataSet(s, out, sink);
    }));
    return py::none();
  }
  const auto written = Take(Unlocked([&] {
    auto held = HoldActions();
    return WriteSynthRecording(s, out, sink);
  }));
  py::list sweeps;
  for (const SynthSweep& w : written)
    sweeps.append(py::dict("trace"_a = w.trace, "FileNo"_a = w.FileNo, "Istep"_a = w.Istep, "Gstep"_a = w.Gstep,
                           "spikeTimes"_a = Array(w.spikeTimes)));
  return sweeps;
}

}  // namespace

void AddAnalyses(py::module_& m) {
  m.def("_filter_voltage", &FilterSweep, "sweep"_a, "settings"_a);
  m.def("_detect_spikes", &DetectSpikesOf, "sweep"_a, "settings"_a);
  m.def("_statistics", &StatisticsOf, "sweep"_a, "settings"_a, "start"_a, "end"_a, "bins"_a, "lower"_a, "upper"_a,
        "nt_corr"_a, "n_draw"_a);
  m.def("_fi_directory", &FiOfDirectory, "dir"_a, "settings"_a, "format"_a, "select"_a, "result_dir"_a, "rewrite"_a);
  m.def("_fi_sweeps", &FiOfSweeps, "sweeps"_a, "settings"_a, "result_dir"_a, "rewrite"_a);
  m.def(
      "_fc_calibrate",
      [](const fs::path& dir, const Settings& settings, const std::vector<std::string>& select, bool erase) {
        return FiringClampOf(dir, settings, select,
                             {.calibrate = true, .eraseCalibration = erase, .approximate = std::nullopt,
                              .estimate = false});
      },
      "dir"_a, "settings"_a, "select"_a, "erase"_a);
  m.def(
      "_fc_estimate",
      [](const fs::path& dir, const Settings& settings, const std::vector<std::string>& select,
         std::optional<int> kind) {
        if (kind && (*kind < 0 || *kind > 5)) throw py::value_error(fmt::format("kind must be 0..5, not {}", *kind));
        std::optional<ApproxKind> approximate;
        if (kind) approximate = static_cast<ApproxKind>(*kind);
        return FiringClampOf(dir, settings, select,
                             {.calibrate = false, .eraseCalibration = false, .approximate = approximate,
                              .estimate = true});
      },
      "dir"_a, "settings"_a, "select"_a, "kind"_a);
  m.def("_synth", &Synth, "out"_a, "protocol"_a, "preset"_a, "seed"_a, "duration"_a, "dt"_a, "binary"_a, "name"_a,
        "noise_v"_a, "noise_i"_a);
}

}  // namespace velmora::python
