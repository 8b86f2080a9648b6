#include "Sweeps.h"

#include <fmt/format.h>
#include <pybind11/numpy.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "actions/LoadedData.h"
#include "actions/ReadAndDraw.h"
#include "recording/Stimulus.h"
#include "recording/TraceFile.h"
#include "session/Session.h"
#include "spikes/Batch.h"

namespace velmora::python {

namespace fs = std::filesystem;
using namespace py::literals;

std::vector<SweepPtr> ReadAbfSweeps(const fs::path& path, const Settings& settings, PythonSink& sink);  // Abf.cpp

std::size_t SweepData::samples() const {
  const SweepSlot& s = slot();
  return s.nLast < 0 ? 0 : std::min(static_cast<std::size_t>(s.nLast) + 1, s.V.size());
}

// Slot 1 of `from`, just loaded, as a sweep of its own with the state its load kept.
SweepPtr TakeLoaded(Recording& from, const LoadSettings& load) {
  auto d = std::make_shared<SweepData>();
  d->kind = "main";
  d->rec.traces[1] = std::move(from.traces[1]);
  d->rec.FileNames = {"", d->rec.traces[1].reading->trace};
  d->rec.nFiles = 1;
  RestoreSweep(d->rec, 1, load);
  d->protocolCommand = true;
  return d;
}

namespace {

// A trace, or every recording a data directory lists, read one after the
// other into one recording as the program loads them: a recording without a
// parameter file keeps the parameters of the one before, with a warning.
std::vector<SweepPtr> ReadMainFormat(const fs::path& path, const Settings& settings, PythonSink& sink) {
  Session session;
  std::vector<std::string> traces;
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    Take(ListedSelection(session, path, {}, sink));
    for (const ListedRecording& r : session.listed) traces.push_back((path / r.trace).string());
  } else {
    traces.push_back(path.string());
  }
  std::vector<SweepPtr> sweeps;
  Recording& rec = session.rec;
  for (std::size_t k = 0; k < traces.size(); ++k) {
    sink.Progress(static_cast<int>(k) + 1, static_cast<int>(traces.size()), traces[k]);
    Take(LoadSweepFiles(rec, traces[k], sink));
    Take(LoadSweep(rec, 1, settings.load, sink));
    sweeps.push_back(TakeLoaded(rec, settings.load));
  }
  return sweeps;
}

// The columns of a column-format experiment, each a sweep, read as the
// program reads them (every Skip-th line).
std::vector<SweepPtr> ReadColumns(const fs::path& dir, FileFormat format, const ColumnFileNames& named,
                                  const Settings& given, PythonSink& sink) {
  Settings settings = given;
  settings.format = format;
  Session session;
  session.files = Take(ColumnFilesIn(dir, format, named));
  Take(ReadFormatHeaders(session, settings, sink));
  Recording& rec = session.rec;
  const int skip = static_cast<int>(std::trunc(settings.Skip));
  const std::string kind = format == FileFormat::OldVarnel ? "old columns" : "new columns";
  std::vector<SweepPtr> sweeps;
  // nFiles is read anew: the old format learns the number of columns from the first read.
  for (int k = 1; k <= rec.nFiles; ++k) {
    sink.Progress(k, rec.nFiles, fmt::format("column {}", k));
    for (int plane : {1, 2}) Take(ReadColumnFile(session.files, session.header, plane, k, skip, rec, sink));
    auto d = std::make_shared<SweepData>();
    d->kind = kind;
    d->columns = session.header;
    Recording& own = d->rec;
    own.traces[1] = std::move(rec.traces[k]);
    own.dt = rec.dt, own.t0 = rec.t0;
    own.tOn = rec.tOn, own.tOff = rec.tOff;
    own.Vref = rec.Vref, own.Gain = rec.Gain;
    own.FileNo = k;
    const ClampIG clamp = SweepIG(format, session.header, rec, k);
    own.Ifile[1] = clamp.I, own.Gfile[1] = clamp.G;
    own.currentFile = fmt::format("{} column {}", session.files.VoltFile, k);
    own.FileNames = {"", own.currentFile};
    own.nFiles = 1;
    KeepReading(own, 1, settings.load, 0);
    sweeps.push_back(std::move(d));
  }
  return sweeps;
}

// ---- arrays

using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;

std::vector<double> Samples(const Doubles& a, std::size_t n, const char* what) {
  if (a.ndim() != 1 || static_cast<std::size_t>(a.shape(0)) < n)
    throw py::value_error(fmt::format("{} must be one-dimensional with as many samples as v ({})", what, n));
  return std::vector<double>(a.data(), a.data() + n);
}

SweepPtr FromArrays(const Doubles& v, double dt, const std::optional<Doubles>& iCommand,
                    const std::optional<Doubles>& iMeasured, const std::optional<Doubles>& gCommand,
                    std::optional<double> tOn, std::optional<double> tOff, double t0, double iClamp, double gClamp,
                    const std::string& name) {
  if (v.ndim() != 1 || v.shape(0) < 1) throw py::value_error("v must be one-dimensional and hold a sample at least");
  if (!(dt > 0) || !std::isfinite(dt))
    throw py::value_error(fmt::format("dt must be a positive time in ms, not {}", dt));
  std::size_t n = static_cast<std::size_t>(v.shape(0));
  if (n > static_cast<std::size_t>(kMaxSweepSamples)) {
    PythonSink(1).Warn(fmt::format("{}: the sweep holds {} samples; it is cut at {}", name, n, kMaxSweepSamples));
    n = kMaxSweepSamples;
  }
  auto d = std::make_shared<SweepData>();
  d->kind = "arrays";
  Recording& rec = d->rec;
  SweepSlot& s = rec.traces[1];
  s.V = Samples(v, n, "v");
  if (iCommand) s.Icom = Samples(*iCommand, n, "i_command");
  if (iMeasured) s.Ireal = Samples(*iMeasured, n, "i_measured");
  if (gCommand) d->gCommand = Samples(*gCommand, n, "g_command");
  s.nLast = static_cast<int>(n) - 1;
  RecordingParameters& p = rec.par;
  p.nPar = static_cast<int>(n);
  p.dtPar = dt;
  p.Duration = static_cast<double>(n) * dt;
  p.tStimStart = tOn.value_or(0);
  p.tStimEnd = tOff.value_or(p.Duration);
  p.TimeFactor = 1;
  rec.dt = dt / 1000;
  rec.t0 = t0 / 1000;
  rec.tOn = p.tStimStart, rec.tOff = p.tStimEnd;
  rec.FileNo = 1;
  rec.Ifile[1] = iClamp, rec.Gfile[1] = gClamp;
  rec.currentFile = name;
  rec.FileNames = {"", name};
  rec.nFiles = 1;
  KeepReading(rec, 1, LoadSettings{}, 0);
  return d;
}

// ---- what Python sees

// A read-only view of `v`'s valid samples that keeps `owner` alive.
py::object View(const std::vector<double>& v, std::size_t n, py::handle owner) {
  if (v.empty()) return py::none();
  py::array a(py::dtype::of<double>(), {std::min(n, v.size())}, {sizeof(double)}, v.data(), owner);
  a.attr("setflags")(py::arg("write") = false);
  return a;
}

// The property giving a view of one plane of the sweep's slot.
auto PlaneView(std::vector<double> SweepSlot::*plane) {
  return [plane](py::object self) {
    const auto& d = self.cast<const SweepData&>();
    return View(d.slot().*plane, d.samples(), self);
  };
}

const std::vector<double>& GCommand(SweepData& d) {
  if (!d.gCommand && d.protocolCommand) {
    const Recording& rec = d.rec;
    std::vector<double> g(d.samples());
    // As the current chart draws it: the protocol's clock starts at the recording's first sample, not at t0.
    for (std::size_t i = 0; i < g.size(); ++i) g[i] = StimulusAt(rec.par, rec.FileNo, i * rec.dt * 1000).Gcom;
    d.gCommand = std::move(g);
  }
  static const std::vector<double> none;
  return d.gCommand ? *d.gCommand : none;
}

py::dict MainHeader(const Recording& rec) {
  const RecordingParameters& p = rec.par;
  const ClampWaveRec& w = p.ClampWave;
  const GridParsRec& g = p.GridPars;
  const FCParsRec& f = p.FCPars;
  py::dict fields;
  for (const auto& [position, value] : p.stored) fields[py::int_(position)] = value;
  return py::dict(
      "Duration"_a = p.Duration, "nPar"_a = p.nPar, "dtPar"_a = p.dtPar, "tStimStart"_a = p.tStimStart,
      "tStimEnd"_a = p.tStimEnd, "Vus"_a = p.Vus, "ProtocolKind"_a = p.ProtocolKind,
      "FiringClampOn"_a = p.FiringClampOn, "SpikesOff"_a = p.SpikesOff, "TimeFactor"_a = p.TimeFactor,
      "HasCh4"_a = p.HasCh4, "HasCh56"_a = p.HasCh56, "LfpPresent"_a = p.LfpPars.LfpPresent,
      "FileNo"_a = rec.FileNo, "Ifile"_a = rec.Ifile[1], "Gfile"_a = rec.Gfile[1],
      "ClampWave"_a = py::dict("WaveKind"_a = w.WaveKind, "WaveAlways"_a = w.WaveAlways, "I0"_a = w.I0,
                               "G0"_a = w.G0, "E0"_a = w.E0, "TI"_a = w.TI, "TG"_a = w.TG, "GEamp"_a = w.GEamp,
                               "GIamp"_a = w.GIamp, "gNMDAamp"_a = w.gNMDAamp, "TGE"_a = w.TGE, "TGI"_a = w.TGI,
                               "TgNMDA"_a = w.TgNMDA, "EI"_a = w.EI),
      "StepPars"_a = py::dict("Ifirst"_a = p.StepPars.Ifirst, "Ilast"_a = p.StepPars.Ilast,
                              "nSteps"_a = p.StepPars.nSteps, "CmdScale"_a = p.StepPars.CmdScale),
      "GridPars"_a = py::dict("GridKind"_a = g.GridKind, "IgFirst"_a = g.IgFirst, "IgLast"_a = g.IgLast,
                              "nI"_a = g.nI, "GgFirst"_a = g.GgFirst, "GgLast"_a = g.GgLast, "nG"_a = g.nG,
                              "tIOn"_a = g.tIOn, "tIOff"_a = g.tIOff, "tGOn"_a = g.tGOn, "tGOff"_a = g.tGOff,
                              "ITable"_a = g.ITable, "GTable"_a = g.GTable),
      "FCPars"_a = py::dict("Freq"_a = f.Freq, "Vswitch"_a = f.Vswitch, "Ipos"_a = f.Ipos, "Ineg"_a = f.Ineg,
                            "Tpulse"_a = f.Tpulse, "nPeriod"_a = f.nPeriod, "nPulse"_a = f.nPulse,
                            "nStop"_a = f.nStop),
      "fields"_a = fields);
}

py::dict ColumnHeader(const VarnelHeader& h, const Recording& rec) {
  return py::dict("column"_a = rec.FileNo, "Gclamp"_a = rec.Gfile[1], "Iclamp"_a = rec.Ifile[1],
                  "Gsweep1"_a = h.Gsweep1, "dGsweep"_a = h.dGsweep, "Isweep1"_a = h.Isweep1, "dIsweep"_a = h.dIsweep,
                  "tStimDur"_a = h.tStimDur, "SampleRate"_a = h.SampleRate, "tIvb"_a = h.tIvb,
                  "tIvbDur"_a = h.tIvbDur, "Bridge"_a = h.Bridge, "nSweepsHdr"_a = h.nSweepsHdr,
                  "gBase"_a = h.gBase, "Gain"_a = h.Gain, "Vref"_a = h.Vref, "Erev"_a = h.Erev, "gStep"_a = h.gStep,
                  // gSeq[k] for sweep k; [0] unused
                  "gSeq"_a = std::vector<double>(h.gSeq.begin() + std::min<std::size_t>(1, h.gSeq.size()),
                                                 h.gSeq.end()),
                  "HdrSubtype"_a = h.HdrSubtype);
}

py::dict AbfHeaderDict(const AbfHeader& h, const Recording& rec) {
  py::list channels;
  for (const auto& [name, unit] : h.channels) channels.append(py::dict("name"_a = name, "unit"_a = unit));
  const RecordingParameters& p = rec.par;
  return py::dict("file"_a = h.file, "version"_a = h.version, "operationMode"_a = h.operationMode,
                  "sweep"_a = h.sweep, "channels"_a = channels, "voltageChannel"_a = h.voltage,
                  "currentChannel"_a = h.current, "commandDac"_a = h.dac, "ProtocolKind"_a = p.ProtocolKind,
                  "tStimStart"_a = p.tStimStart, "tStimEnd"_a = p.tStimEnd, "I0"_a = p.ClampWave.I0,
                  "Ifirst"_a = p.StepPars.Ifirst, "Ilast"_a = p.StepPars.Ilast, "nSteps"_a = p.StepPars.nSteps,
                  "note"_a = h.note);
}

py::dict Header(const SweepData& d) {
  py::dict h = d.columns ? ColumnHeader(*d.columns, d.rec)
               : d.abf   ? AbfHeaderDict(*d.abf, d.rec)
               : d.kind == "main" ? MainHeader(d.rec)
                                  : py::dict();
  h["format"] = d.kind;
  return h;
}

// A reader as Python calls it. The settings come by value: taken from the
// Python object before the lock is released.
template <std::vector<SweepPtr> (*Read)(const fs::path&, const Settings&, PythonSink&)>
std::vector<SweepPtr> ReadUnlocked(const fs::path& path, Settings settings) {
  PythonSink sink;
  return Unlocked([&] { return Read(path, settings, sink); });
}

}  // namespace

void AddSweeps(py::module_& m) {
  py::class_<SweepData, SweepPtr>(m, "Sweep", R"doc(One sweep: samples, sampling step, stimulus window, header.

Read by velmora.open, or built from arrays of any origin:

    Sweep(v, dt, *, i_command=None, i_measured=None, g_command=None,
          t_on=None, t_off=None, t0=0.0, i_clamp=0.0, g_clamp=0.0, name="(arrays)")

v in mV, dt in ms, currents in pA, conductance in nS, times in ms; the
stimulus window defaults to the whole sweep; i_clamp and g_clamp are the
sweep's step (pA, nS) for the F-I analysis. The arrays are copied in. More
than 900,001 samples are cut there, with a warning, as the program cuts.

The arrays it gives (v, i_measured, i_command) are read-only views of the
sweep's own samples, not copies: their base is the Sweep, which they keep
alive. t and g_command are computed; an array the sweep does not have is None.)doc")
      .def(py::init(&FromArrays), "v"_a, "dt"_a, py::kw_only(), "i_command"_a = py::none(),
           "i_measured"_a = py::none(), "g_command"_a = py::none(), "t_on"_a = py::none(), "t_off"_a = py::none(),
           "t0"_a = 0.0, "i_clamp"_a = 0.0, "g_clamp"_a = 0.0, "name"_a = "(arrays)")
      .def_property_readonly("name", &SweepData::name, "the trace file, \"<voltage file> column k\", "
                                                       "\"<file> #k\" (ABF, ATF) or the name given")
      .def_property_readonly("format", [](const SweepData& d) { return d.kind; },
                             "\"main\", \"old columns\", \"new columns\", \"ABF1\", \"ABF2\", \"ATF\" or \"arrays\"")
      .def_property_readonly("v", PlaneView(&SweepSlot::V), "membrane voltage, mV (a view)")
      .def_property_readonly("i_measured", PlaneView(&SweepSlot::Ireal),
                             "measured current, pA (a view; None when not recorded)")
      .def_property_readonly("i_command", PlaneView(&SweepSlot::Icom),
                             "command current, pA (a view; None when not recorded)")
      .def_property_readonly(
          "g_command",
          [](py::object self) { auto& d = self.cast<SweepData&>(); return View(GCommand(d), d.samples(), self); },
          "command conductance, nS: as given, or rebuilt from the protocol's parameters (None for column files)")
      .def_property_readonly(
          "t",
          [](const SweepData& d) {
            py::array_t<double> t(static_cast<py::ssize_t>(d.samples()));
            auto out = t.mutable_unchecked<1>();
            for (py::ssize_t i = 0; i < out.shape(0); ++i) out(i) = (i * d.rec.dt + d.rec.t0) * 1000;
            return t;
          },
          "time of each sample, ms, from the start of the recording (a new array)")
      .def_property_readonly("dt", [](const SweepData& d) { return Ms(d.rec.dt); }, "sampling step, ms")
      .def_property_readonly("t0", [](const SweepData& d) { return Ms(d.rec.t0); },
                             "time of the first sample, ms (\"Analyze since t0\" as read)")
      .def_property_readonly("t_on", [](const SweepData& d) { return d.rec.tOn; }, "stimulus start, ms")
      .def_property_readonly("t_off", [](const SweepData& d) { return d.rec.tOff; }, "stimulus end, ms")
      .def_property_readonly("i_clamp", [](const SweepData& d) { return d.rec.Ifile[1]; },
                             "the sweep's step current, pA")
      .def_property_readonly("g_clamp", [](const SweepData& d) { return d.rec.Gfile[1]; },
                             "the sweep's step conductance, nS")
      .def_property_readonly(
          "filtered",
          [](const SweepData& d) -> py::object {
            const SweepSlot& s = d.slot();
            if (s.filteredIterations == 0) return py::none();
            return py::make_tuple(s.filteredTauF, s.filteredIterations);
          },
          "None when v is as read, else (Filter scale in ms, Iterations) of the filter it went through")
      .def_property_readonly("header", &Header,
                             "what the files say about the sweep, as a dict: the parameter file's fields (main "
                             "format, with \"fields\" by position), the column header, or the ABF header")
      .def("__len__", &SweepData::samples)
      .def("__repr__", [](const SweepData& d) {
        return fmt::format("<velmora.Sweep {} ({}): {} samples, dt {} ms, stimulus {}..{} ms>", d.name(), d.kind,
                           d.samples(), Ms(d.rec.dt), d.rec.tOn, d.rec.tOff);
      });

  m.def("_read_main", &ReadUnlocked<&ReadMainFormat>, "path"_a, "settings"_a);
  m.def("_read_abf", &ReadUnlocked<&ReadAbfSweeps>, "path"_a, "settings"_a);
  m.def(
      "_read_columns",
      [](const fs::path& dir, const std::string& format, Settings settings, const std::string& voltage,
         const std::string& current, const std::string& header) {
        PythonSink sink;
        const FileFormat f = format == "old" ? FileFormat::OldVarnel : FileFormat::NewVarnel;
        return Unlocked([&] { return ReadColumns(dir, f, {voltage, current, header}, settings, sink); });
      },
      "dir"_a, "format"_a, "settings"_a, "voltage"_a, "current"_a, "header"_a);
}

}  // namespace velmora::python
