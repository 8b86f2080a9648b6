// ABF and ATF files as sweeps: each sweep analysed as the same samples would
// be, written in the main format with a parameter file of its own. Sample k
// is loaded sample k (time k dt); a step epoch whose level changes from sweep
// to sweep makes the sweep a current step (ProtocolKind 2), otherwise the
// whole sweep is the stimulus window.

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>

#include "Sweeps.h"
#include "recording/Abf.h"
#include "recording/TraceFile.h"

namespace velmora::python {

namespace fs = std::filesystem;

std::vector<SweepPtr> ReadAbfSweeps(const fs::path& path, const Settings& settings, PythonSink& sink) {
  const AbfFile abf = Take(ReadAbf(path, sink));
  const AbfChannelChoice channels = Take(ChooseChannels(abf));
  const int dac = CommandDac(abf);
  const std::string unit = dac >= 0 ? abf.dacs[dac].unit : "";
  // Only a command in current units is the command current.
  const double toPA = unit == "pA" ? 1 : unit == "nA" ? 1000 : 0;
  const int nSweeps = static_cast<int>(abf.sweeps.size());
  std::vector<SweepPtr> sweeps;
  for (int k = 0; k < nSweeps; ++k) {
    const std::string name = fmt::format("{} #{}", path.string(), k + 1);
    sink.Progress(k + 1, nSweeps, name);
    const std::size_t length = abf.sweeps[k].length;
    std::size_t n = length;
    if (n > static_cast<std::size_t>(kMaxSweepSamples)) {
      sink.Warn(fmt::format("{}: the sweep holds {} samples; it is cut at {}", name, n, kMaxSweepSamples));
      n = kMaxSweepSamples;
    }
    const auto samples = [&](int channel, double scale) {
      const std::span<const float> from = abf.Sweep(channel, k);
      std::vector<double> out(std::min(n, from.size()));
      for (std::size_t i = 0; i < out.size(); ++i) out[i] = from[i] * scale;
      return out;
    };
    auto d = std::make_shared<SweepData>();
    d->kind = FormatName(abf.format);
    d->protocolCommand = true;
    AbfHeader& h = d->abf.emplace();
    h.file = path.string(), h.version = abf.version, h.operationMode = abf.operationMode, h.sweep = k + 1;
    for (const AbfChannel& c : abf.channels) h.channels.emplace_back(c.name, c.unit);
    h.voltage = channels.voltage, h.current = channels.current, h.dac = dac;

    const AbfStimulus stim = StimulusOfSweep(abf, k);
    h.note = channels.note.empty() ? stim.why : stim.why.empty() ? channels.note : channels.note + "; " + stim.why;
    Recording& rec = d->rec;
    SweepSlot& s = rec.traces[1];
    s.V = samples(channels.voltage, channels.voltageScale);
    if (const AbfCommand command = RebuildCommand(abf, dac, k); command.rebuilt && toPA != 0) {
      s.Icom.resize(std::min(n, command.level.size()));
      for (std::size_t i = 0; i < s.Icom.size(); ++i) s.Icom[i] = command.level[i] * toPA;
    }
    s.Ireal = channels.current >= 0 ? samples(channels.current, channels.currentScale) : s.Icom;
    s.nLast = static_cast<int>(s.V.size()) - 1;

    RecordingParameters& p = rec.par;
    p.Duration = static_cast<double>(length) * abf.dt;
    p.nPar = static_cast<int>(length);
    p.dtPar = abf.dt;
    p.tStimStart = stim.tStimStart, p.tStimEnd = stim.tStimEnd;
    p.ProtocolKind = stim.ProtocolKind;
    p.TimeFactor = 1;
    p.StepPars = {.Ifirst = stim.Ifirst, .Ilast = stim.Ilast, .CmdScale = 1, .nSteps = stim.nSteps};
    p.ClampWave.I0 = stim.I0;
    rec.dt = abf.dt / 1000;
    rec.tOn = p.tStimStart, rec.tOff = std::min(p.Duration, p.tStimEnd);
    rec.FileNo = k + 1;
    rec.Ifile[1] = stim.I0;
    rec.Gain = 1;
    rec.currentFile = name;
    rec.FileNames = {"", name};
    rec.nFiles = 1;
    KeepReading(rec, 1, settings.load, 0);
    sweeps.push_back(std::move(d));
  }
  return sweeps;
}

}  // namespace velmora::python
